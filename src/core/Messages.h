#pragma once
// Captions and message-box texts, addressed by number.

#include <QList>
#include <QString>

namespace qvr {

// The text with that id; an id outside the table is a programming error and gives "".
QString text(int id);

// Every id in the table, ascending.
QList<int> textIds();

// Title of every message box.
inline const QString kAppTitle = QStringLiteral("QVR100PCI");

} // namespace qvr
