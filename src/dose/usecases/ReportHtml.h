#pragma once
// The report's tables, as the HTML QTextDocument lays out.

#include <QStringList>

namespace qvr::dose {

inline QString htmlRow(const QStringList& cells, const char* tag = "td") {
    QString out = QStringLiteral("<tr>");
    for (const QString& c : cells)
        out += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), c);
    return out + QStringLiteral("</tr>");
}

// firstPercent fixes the first column's share of the width where a cell spanning the table
// would otherwise decide it.
inline QString htmlTable(const QStringList& headers, const QStringList& rows,
                         int firstPercent = 0) {
    QString head = htmlRow(headers, "th");
    if (firstPercent > 0)
        head.replace(0, 8, QStringLiteral("<tr><th width=\"%1%\">").arg(firstPercent));
    return QStringLiteral(
               "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">") +
           head + rows.join(QString()) + QStringLiteral("</table>");
}

} // namespace qvr::dose
