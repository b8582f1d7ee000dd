#pragma once
// Message boxes of the windowed program: the text alone, one OK button, no icon, the
// application title. A box is modal to the reader's windows only and centred on them: the
// simulator's window, which stands for the head in the user's hands, stays usable.

#include "core/MessageSink.h"

class QWidget;

namespace qvr {

class QtMessageSink : public MessageSink {
public:
    void showMessage(const QString& text) override;

    // The window a box stands over: the open reader dialog, else the shown main window; none
    // during start-up, before the main window shows.
    static QWidget* owner();
};

} // namespace qvr
