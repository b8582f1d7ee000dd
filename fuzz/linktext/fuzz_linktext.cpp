// Any text through the link's mapping: served as one printable line of valid UTF-8, and
// given back exactly by the reverse mapping. Any served string reverses without harm.
//
// Input: UTF-16 code units (little-endian pairs of bytes), so that lone surrogates, NUL and
// every control character occur.

#include "link/text/LinkText.h"

#include <cstdint>
#include <cstdlib>

using namespace qvr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QString text;
    text.reserve(static_cast<qsizetype>(size / 2));
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text += QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    const QString served = toLinkText(text);
    for (qsizetype i = 0; i < served.size(); ++i) {
        const char16_t c = served[i].unicode();
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            std::abort(); // a control character on the line
        if (QChar::isHighSurrogate(c) && !(i + 1 < served.size() && served[i + 1].isLowSurrogate()))
            std::abort(); // a surrogate that UTF-8 cannot carry
        if (QChar::isLowSurrogate(c) && !(i > 0 && served[i - 1].isHighSurrogate()))
            std::abort();
        if (QChar::isHighSurrogate(c))
            ++i;
    }
    if (QString::fromUtf8(served.toUtf8()) != served || fromLinkText(served) != text)
        std::abort();

    // The same bytes as a served string from anyone: reversing it must not fail.
    const QString any =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString back = fromLinkText(any);
    if (back.size() > any.size())
        std::abort(); // every escape is longer than what it stands for
    return 0;
}
