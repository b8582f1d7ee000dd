#include "link/text/LinkText.h"

namespace qvr {

namespace {

constexpr char16_t kEscape = u'\\';

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void appendHex(QString& out, char16_t c, int digits) {
    out += QString::number(c, 16).toUpper().rightJustified(digits, u'0');
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Value of `digits` upper-case hex digits at `at`, or -1 when they are not all there.
int hexAt(const QString& s, qsizetype at, int digits) {
    if (at + digits > s.size())
        return -1;
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigit(s[at + i].unicode());
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

} // namespace

QString toLinkText(const QString& text) {
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == kEscape) {
            out += u"\\\\";
        } else if (isControl(c)) {
            out += u"\\x";
            appendHex(out, c, 2);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += text[i];
            out += text[++i];
        } else if (QChar::isSurrogate(c)) {
            out += u"\\u";
            appendHex(out, c, 4);
        } else {
            out += text[i];
        }
    }
    return out;
}

QString fromLinkText(const QString& served) {
    QString out;
    out.reserve(served.size());
    const qsizetype n = served.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (served[i] != kEscape || i + 1 == n) {
            out += served[i];
            continue;
        }
        const QChar kind = served[i + 1];
        if (kind == kEscape) {
            out += kEscape;
            ++i;
            continue;
        }
        const int digits = kind == u'x' ? 2 : kind == u'u' ? 4 : 0;
        const int value = digits ? hexAt(served, i + 2, digits) : -1;
        if (value < 0) {
            out += served[i];
            continue;
        }
        out += QChar(char16_t(value));
        i += 1 + digits;
    }
    return out;
}

} // namespace qvr
