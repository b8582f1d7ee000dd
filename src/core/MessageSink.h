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

} // namespace qvr
