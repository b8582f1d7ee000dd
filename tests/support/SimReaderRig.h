#pragma once
// A reader started on the simulated card and head, with the manual clock: no noise, no time
// per conversion, every message and log line recorded.

#include "ManualClock.h"
#include "RecordingMessageSink.h"

#include "core/Messages.h"
#include "core/Settings.h"
#include "daq/sim/SimCard.h"
#include "reader/Reader.h"
#include "reader/ReaderHost.h"

#include <QtGlobal>
#include <functional>

namespace qvr::test {

class SimHost : public ReaderHost {
public:
    void showBoardDialog() override {}
    void showFilterCheck() override {
        if (duringFilterCheck)
            duringFilterCheck();
    }
    void endProcess() override {}
    std::function<void()> duringFilterCheck;
};

inline sim::Scenario quietScenario(const QByteArray& json) {
    QString why;
    auto s = sim::parseScenario(json, &why);
    if (!s)
        qFatal("scenario refused: %s", qPrintable(why));
    s->noise = 0;
    s->conversionUs = 0;
    return *s;
}

struct SimReaderRig {
    explicit SimReaderRig(const QByteArray& json, const QString& board = QStringLiteral("0"),
                          const QHash<QString, QString>& stored = {})
        : card(quietScenario(json), &clock), reader(clock, card, settings, messages) {
        settings.values_ = stored;
        settings.values_.insert(QStringLiteral("PCIPort"), board);
        reader.faults().setLog(&log);
        reader.Form_Load(host);
    }
    QString label(Label l) { return reader.labels().text(l); }
    int count(int textId) const {
        int n = 0;
        for (const QString& m : messages.messages)
            n += m.startsWith(text(textId));
        return n;
    }
    bool cautioned() const { return count(1010) + count(1011) > 0; }

    ManualClock clock;
    sim::SimCard card;
    MemorySettings settings;
    RecordingMessageSink messages;
    RecordingMessageSink log; // the standard-error lines of the fault state and the zero
    SimHost host;
    Reader reader;
};

} // namespace qvr::test
