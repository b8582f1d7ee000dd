#include "ui/PrintableText.h"

namespace qvr {

QString printableText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out += ch;
        else
            out += QStringLiteral("\\x%1").arg(static_cast<uint>(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace qvr
