// The About box: its texts and icon, modeless, and the keys that close it.

#include "core/Messages.h"
#include "ui/Twips.h"
#include "ui/frmAbout.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using namespace qvr;

class TestFrmAbout : public QObject {
    Q_OBJECT
private slots:
    void textsAndLayout() {
        frmAbout about;
        QCOMPARE(about.windowTitle(), text(400));
        for (const auto& [control, id] : {std::pair{"lblTitle", 401},
                                          {"lblVersion", 402},
                                          {"lblDescription", 403},
                                          {"lblDisclaimer", 404},
                                          {"cmdOK", 405}}) {
            QVERIFY(!text(id).isEmpty());
            QCOMPARE(about.findChild<QObject*>(QLatin1String(control))->property("text").toString(),
                     text(id));
        }
        const QScreen* s = about.screen();
        QCOMPARE(about.minimumSize(), QSize(twipsToPixels(5730, s), twipsToPixels(3555, s)));
        QCOMPARE(about.maximumSize(), about.minimumSize());
        QVERIFY(!about.isModal());
        QVERIFY(about.findChild<QPushButton*>(QStringLiteral("cmdOK"))->isDefault());
    }

    void iconOfItsOwn() {
        frmAbout about;
        const QImage icon = about.findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap().toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY(!programIcon().isNull());
        QSet<QRgb> colours;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                colours.insert(icon.pixel(x, y));
        QVERIFY(colours.size() > 2 && colours.size() <= 16); // a picture, in 16 colours at most
    }

    void closes_data() {
        QTest::addColumn<int>("key"); // 0: the OK button, -1: the close box
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
        QTest::newRow("OK") << 0;
        QTest::newRow("close box") << -1;
    }
    void closes() {
        QFETCH(int, key);
        QPointer<frmAbout> about = new frmAbout;
        about->show();
        if (key > 0)
            QTest::keyClick(about, Qt::Key(key));
        else if (key == 0)
            about->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        else
            about->close();
        QVERIFY(about && !about->isVisible());
        // Closed means unloaded: the next showing is a new box.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!about);
    }
};

QTEST_MAIN(TestFrmAbout)
#include "test_frmabout.moc"
