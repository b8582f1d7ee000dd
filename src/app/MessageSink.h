#pragma once
// Modal message boxes reach the core through this: the text alone, one OK button.

#include <QString>

namespace qvr {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows text and returns once the user has acknowledged it.
    virtual void showMessage(const QString& text) = 0;
};

// For a run without windows: one line "QVR100PCI: <text>" on standard error, acknowledged at
// once.
class StderrMessageSink : public MessageSink {
public:
    void showMessage(const QString& text) override;
};

} // namespace qvr
