#include "link/text/BusNames.h"

namespace qvr {

QString busService() {
    return QStringLiteral("com.norvale.QVR100PCI");
}
QString busPath() {
    return QStringLiteral("/data");
}
QString busInterface() {
    return QStringLiteral("com.norvale.QVR100PCI.Topic");
}

} // namespace qvr
