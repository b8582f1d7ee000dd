#pragma once
// Writing an export where its user named it, so that it is either written whole or the call
// fails saying why. A regular file, or a new name, gets a temporary file beside it that
// replaces it by a rename only once every byte is written and synced: a reader never sees half
// a file and a full disk leaves the old one. A device (a character or block special file, such
// as /dev/null or a terminal) is written directly and never replaced. A folder, a FIFO, a
// socket or a symbolic link to anything but a device is refused.

#include "dose/core/Outcome.h"

#include <QByteArray>
#include <QString>

namespace qvr::dose {

Outcome<Done> writeOutputFile(const QString& path, const QByteArray& data);

} // namespace qvr::dose
