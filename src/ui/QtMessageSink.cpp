#include "ui/QtMessageSink.h"

#include "core/Messages.h"
#include "ui/frmQVR100.h"

#include <QApplication>
#include <QMessageBox>

namespace qvr {

QWidget* QtMessageSink::owner() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<frmQVR100*>(w) && w->isVisible())
            return w;
    return nullptr;
}

void QtMessageSink::showMessage(const QString& text) {
    QWidget* parent = owner();
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, parent);
    // Texts can carry values read from the head; they are never markup.
    box.setTextFormat(Qt::PlainText);
    // Window-modal blocks the owner's window hierarchy and nothing else. Without an owner
    // (start-up) nothing else is open that the box could leave usable.
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
}

} // namespace qvr
