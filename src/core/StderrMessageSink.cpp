#include "core/StderrMessageSink.h"

#include <cstdio>

namespace qvr {

namespace {
// A message can carry text from the head record: control characters (NUL, line breaks) are
// written as \xNN and a backslash as \\, so each message stays one line and reads back.
QByteArray oneLine(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += "\\\\";
        else if (u < 0x20 || u == 0x7f)
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += QString(c).toUtf8();
    }
    return out;
}
} // namespace

void StderrMessageSink::showMessage(const QString& text) {
    const QByteArray line = "QVR100PCI: " + oneLine(text) + "\n";
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace qvr
