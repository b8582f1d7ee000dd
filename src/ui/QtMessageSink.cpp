#include "ui/QtMessageSink.h"

#include "core/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace qvr {

void QtMessageSink::showMessage(const QString& text) {
    // Over whatever window is active, or centred on the screen during start-up when no window
    // is shown yet.
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    // Texts can carry values read from the head; they are never markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace qvr
