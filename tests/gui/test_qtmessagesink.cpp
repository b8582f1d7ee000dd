// Message boxes of the windowed program: modal, the text alone, one OK, no icon, the title.

#include "core/Messages.h"
#include "ui/QtMessageSink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using namespace qvr;

class TestQtMessageSink : public QObject {
    Q_OBJECT
private slots:
    void boxAndItsAnswer();
};

void TestQtMessageSink::boxAndItsAnswer() {
    // A head value in the text, which is never markup.
    const QString message = text(1101) + QStringLiteral("<b>QVR</b> 1&00");
    bool shown = false;
    // Runs inside the box's own event loop, as the user's answer would.
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        shown = true;
        QCOMPARE(box->windowTitle(), QStringLiteral("QVR100PCI"));
        QCOMPARE(box->text(), message);
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
        QCOMPARE(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    QtMessageSink().showMessage(message);
    QVERIFY(shown);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestQtMessageSink)
#include "test_qtmessagesink.moc"
