#pragma once
// Where the workstation's times come from: the system clock in the program, a fixed or stepped
// one in tests.

#include <QDateTime>
#include <functional>

namespace qvr::dose {

using Now = std::function<QDateTime()>;

inline Now systemNow() {
    return [] { return QDateTime::currentDateTimeUtc(); };
}

} // namespace qvr::dose
