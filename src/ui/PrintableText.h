#pragma once
// Text from the head as a person can read it: printable ASCII as it is, every other
// character (and the backslash) as \xNN.

#include <QString>

namespace qvr {

QString printableText(QStringView text);

} // namespace qvr
