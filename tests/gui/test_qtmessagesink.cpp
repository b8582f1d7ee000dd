// Message boxes of the windowed program: modal, the text alone, one OK, no icon, the title.

#include "app/Messages.h"
#include "app/QtMessageSink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using namespace qvr;

class TestQtMessageSink : public QObject {
    Q_OBJECT
private slots:
    void boxAndItsAnswer_data();
    void boxAndItsAnswer();
};

void TestQtMessageSink::boxAndItsAnswer_data() {
    QTest::addColumn<QString>("message");
    QTest::newRow("caution") << text(1010);
    QTest::newRow("head values are never markup") << text(1101) + QStringLiteral("<b>QVR</b> 1&00");
}

void TestQtMessageSink::boxAndItsAnswer() {
    QFETCH(QString, message);
    struct Seen {
        bool box = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Warning;
        Qt::TextFormat format = Qt::AutoText;
        Qt::WindowModality modality = Qt::NonModal;
        QStringList buttons;
    } seen;
    // Runs inside the box's own event loop, as the user's answer would.
    QTimer::singleShot(0, this, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.box = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.format = box->textFormat();
        seen.modality = box->windowModality();
        for (QAbstractButton* b : box->buttons())
            seen.buttons << b->text();
        box->button(QMessageBox::Ok)->click();
    });
    QtMessageSink sink;
    sink.showMessage(message);

    QVERIFY(seen.box);
    QCOMPARE(seen.title, QStringLiteral("QVR100PCI"));
    QCOMPARE(seen.text, message);
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.modality, Qt::ApplicationModal);
    QCOMPARE(seen.buttons.size(), 1);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestQtMessageSink)
#include "test_qtmessagesink.moc"
