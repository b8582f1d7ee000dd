#pragma once
// Where the readings are served on the session bus.

#include <QString>

namespace qvr {

QString busService();   // "com.norvale.QVR100PCI"
QString busPath();      // "/data", the topic "data"
QString busInterface(); // "com.norvale.QVR100PCI.Topic"

} // namespace qvr
