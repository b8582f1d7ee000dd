#pragma once
// The window speaks in sentences: what the use cases say, begun with a capital and ended with a
// full stop, never with the command line's usage.

#include <QString>

namespace qvr::dose {

QString sentence(const QString& text);
// "Not done: ..." style: why an action did nothing, as a sentence.
QString refusalSentence(const QString& action, const QString& why);

} // namespace qvr::dose
