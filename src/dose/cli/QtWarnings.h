#pragma once
// Qt's own warnings (a database driver's, say) while a command runs: collected instead of
// printed, so that a failure stays one line on standard error; the refusal carries them.

#include <QStringList>

namespace qvr::dose {

// From now on Qt's warnings are collected; a fatal message still ends the program.
void captureQtWarnings();
// The warnings collected since the last call.
QStringList takeQtWarnings();

} // namespace qvr::dose
