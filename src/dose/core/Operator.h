#pragma once
// Who is working: the login name of the process's user.

#include <QString>

namespace qvr::dose {

QString loginName();

} // namespace qvr::dose
