#pragma once
// A message sink that records every text and answers at once (or runs a hook first, as the
// nested event loop of a real modal box would).

#include "core/MessageSink.h"

#include <QStringList>
#include <functional>

namespace qvr::test {

class RecordingMessageSink : public MessageSink {
public:
    void showMessage(const QString& text) override {
        messages.append(text);
        if (whileShown)
            whileShown(text);
    }
    QStringList messages;
    std::function<void(const QString&)> whileShown;
};

} // namespace qvr::test
