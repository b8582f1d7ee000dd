#include "app/MessageSink.h"

#include <cstdio>

namespace qvr {

void StderrMessageSink::showMessage(const QString& text) {
    const QByteArray line = "QVR100PCI: " + text.toUtf8() + "\n";
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace qvr
