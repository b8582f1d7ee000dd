#pragma once

#include "core/MessageSink.h"

namespace qvr {

// For a run without windows: one line "QVR100PCI: <text>" on standard error, acknowledged at
// once.
class StderrMessageSink : public MessageSink {
public:
    void showMessage(const QString& text) override;
};

} // namespace qvr
