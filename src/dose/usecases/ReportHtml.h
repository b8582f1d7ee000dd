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
    QString head = QStringLiteral("<tr>");
    for (int i = 0; i < headers.size(); ++i)
        head += i == 0 && firstPercent > 0 ? QStringLiteral("<th width=\"%1%\">%2</th>")
                                                 .arg(QString::number(firstPercent), headers[i])
                                           : QStringLiteral("<th>%1</th>").arg(headers[i]);
    return QStringLiteral(
               "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">") +
           head + QStringLiteral("</tr>") + rows.join(QString()) + QStringLiteral("</table>");
}

} // namespace qvr::dose
