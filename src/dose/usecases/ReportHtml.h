#pragma once
// The report's tables, as the HTML QTextDocument lays out.

#include "dose/core/Signature.h"

#include <QDateTime>
#include <QStringList>

namespace qvr::dose {

inline QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

inline QString when(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))
                       : QStringLiteral("-");
}

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

// A row of the signatures: what, who (signed, or only attributed), when, and what it means.
inline QString signatureRow(const QString& what, const std::optional<Signature>& s,
                            const QString& account, const QDateTime& at, const QString& meaning) {
    return htmlRow({what,
                    s ? esc(signerText(s->name, s->account)) + QStringLiteral(", signed")
                      : esc(unsignedText(account)),
                    s ? esc(signedAtText(*s)) : when(at), meaning});
}

} // namespace qvr::dose
