#pragma once
// Message boxes of the windowed program: the text alone, one OK button, no icon, the
// application title, modal over the whole application.

#include "core/MessageSink.h"

namespace qvr {

class QtMessageSink : public MessageSink {
public:
    void showMessage(const QString& text) override;
};

} // namespace qvr
