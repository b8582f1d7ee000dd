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

inline QString htmlTable(const QStringList& headers, const QStringList& rows) {
    return QStringLiteral(
               "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">") +
           htmlRow(headers, "th") + rows.join(QString()) + QStringLiteral("</table>");
}

} // namespace qvr::dose
