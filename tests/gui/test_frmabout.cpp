// The About box: its texts and icon, modeless, and the keys that close it.

#include "app/Messages.h"
#include "app/Twips.h"
#include "dialogs/frmAbout.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using namespace qvr;

class TestFrmAbout : public QObject {
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void iconOfItsOwn();
    void layout();
    void closes_data();
    void closes();
};

void TestFrmAbout::texts_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("id");
    QTest::newRow("title line") << "lblTitle" << 401;
    QTest::newRow("version") << "lblVersion" << 402;
    QTest::newRow("description") << "lblDescription" << 403;
    QTest::newRow("notice") << "lblDisclaimer" << 404;
    QTest::newRow("button") << "cmdOK" << 405;
}

void TestFrmAbout::texts() {
    QFETCH(QString, control);
    QFETCH(int, id);
    frmAbout about;
    QCOMPARE(about.windowTitle(), text(400));
    QVERIFY(!text(id).isEmpty());
    QCOMPARE(about.findChild<QObject*>(control)->property("text").toString(), text(id));
}

void TestFrmAbout::iconOfItsOwn() {
    frmAbout about;
    const QPixmap icon = about.findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap();
    QCOMPARE(icon.size(), QSize(32, 32));
    QVERIFY(!programIcon().isNull());
    // 16 colours at most.
    const QImage image = icon.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() <= 16);
    QVERIFY(colours.size() > 2);
}

void TestFrmAbout::layout() {
    frmAbout about;
    const QScreen* s = about.screen();
    QCOMPARE(about.minimumSize(), QSize(twipsToPixels(5730, s), twipsToPixels(3555, s)));
    QCOMPARE(about.maximumSize(), about.minimumSize());
    QVERIFY(!about.isModal());
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(ok->geometry(), twipsRect(4245, 2625, 1260, 345, s));
}

void TestFrmAbout::closes_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Return") << "return";
    QTest::newRow("Esc") << "escape";
    QTest::newRow("OK") << "ok";
    QTest::newRow("close box") << "close";
}

void TestFrmAbout::closes() {
    QFETCH(QString, way);
    QPointer<frmAbout> about = new frmAbout;
    about->show();
    if (way == QLatin1String("enter"))
        QTest::keyClick(about, Qt::Key_Enter);
    else if (way == QLatin1String("return"))
        QTest::keyClick(about, Qt::Key_Return);
    else if (way == QLatin1String("escape"))
        QTest::keyClick(about, Qt::Key_Escape);
    else if (way == QLatin1String("ok"))
        about->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    else
        about->close();
    QVERIFY(about);
    QVERIFY(!about->isVisible());
    // Closed means unloaded: the next showing is a new box.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!about);
}

QTEST_MAIN(TestFrmAbout)
#include "test_frmabout.moc"
