#include "dose/core/LinkState.h"

namespace qvr::dose {

LinkState linkStateOf(const ReaderItems* items) {
    if (!items)
        return LinkState::NotRunning;
    if (!items->contains(QStringLiteral("State")))
        return LinkState::Older;
    const QString state = items->value(QStringLiteral("State")).toString();
    if (!items->value(QStringLiteral("Fault")).toString().isEmpty() || state == u"fault")
        return LinkState::Fault;
    if (state == u"zeroing")
        return LinkState::Zeroing;
    if (state == u"caution")
        return LinkState::Caution;
    if (state == u"filter check")
        return LinkState::FilterCheck;
    if (state == u"reading")
        return items->value(QStringLiteral("Simulated")).toBool() ? LinkState::Simulated
                                                                  : LinkState::Reading;
    return LinkState::Starting;
}

QString linkStateWords(LinkState state) {
    switch (state) {
    case LinkState::NotRunning:
        return QStringLiteral("not running");
    case LinkState::Starting:
        return QStringLiteral("starting");
    case LinkState::Zeroing:
        return QStringLiteral("zeroing");
    case LinkState::Reading:
        return QStringLiteral("reading");
    case LinkState::Caution:
        return QStringLiteral("caution");
    case LinkState::Simulated:
        return QStringLiteral("simulated");
    case LinkState::FilterCheck:
        return QStringLiteral("filter check");
    case LinkState::Fault:
        return QStringLiteral("fault");
    case LinkState::Older:
        return QStringLiteral("reader too old (no State)");
    }
    return {};
}

QString linkStateWords(LinkState state, const ReaderItems& items) {
    QString words = linkStateWords(state);
    const QString why = state == LinkState::Fault ? items.value(QStringLiteral("Fault")).toString()
                        : state == LinkState::Caution
                            ? items.value(QStringLiteral("Notice")).toString()
                            : QString();
    if (!why.isEmpty())
        words += QStringLiteral(": ") + why;
    return words;
}

Tone linkTone(LinkState state) {
    switch (state) {
    case LinkState::Reading:
        return Tone::Good;
    case LinkState::Starting:
    case LinkState::Zeroing:
    case LinkState::FilterCheck:
        return Tone::Busy;
    case LinkState::Caution:
    case LinkState::Simulated:
        return Tone::Caution;
    case LinkState::Fault:
    case LinkState::Older:
        return Tone::Bad;
    case LinkState::NotRunning:
        return Tone::Off;
    }
    return Tone::Off;
}

} // namespace qvr::dose
