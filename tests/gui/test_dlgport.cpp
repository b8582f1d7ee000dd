// The board dialog over BoardSelection: its list, what Accept stores, the ways out.

#include "FakeDriver.h"

#include "core/Messages.h"
#include "core/ReaderState.h"
#include "core/Settings.h"
#include "reader/BoardSelection.h"
#include "ui/Twips.h"
#include "ui/dlgPort.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

using namespace qvr;
using namespace qvr::test;

namespace {

using Boards = std::map<int, std::pair<int, QString>>;
const QString kDas08 = QStringLiteral("PCI-DAS08");

struct Rig {
    FakeDriver driver;
    ReaderState state;
    MemorySettings settings;
    BoardSelection boards;
    Rig() { state.BoardNum = kNoBoard; }
    std::unique_ptr<dlgPort> open() {
        return std::make_unique<dlgPort>(boards, driver, state, settings);
    }
};

QComboBox* list(QDialog& d) {
    return d.findChild<QComboBox*>(QStringLiteral("cmbBoard"));
}
QPushButton* button(QDialog& d, const char* name) {
    return d.findChild<QPushButton*>(QLatin1String(name));
}
QStringList entries(QDialog& d) {
    QStringList out;
    for (int i = 0; i < list(d)->count(); ++i)
        out << list(d)->itemText(i);
    return out;
}

} // namespace

class TestDlgPort : public QObject {
    Q_OBJECT
private slots:
    void listAndAccept_data() {
        QTest::addColumn<Boards>("boards");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("preselected");
        QTest::addColumn<int>("chosen"); // by the user before Accept, -1: untouched
        QTest::addColumn<QString>("stored");
        QTest::newRow("one PCI-DAS08 as board 0")
            << Boards{{0, {41, kDas08}}} << QStringList{kDas08} << 0 << -1 << "0";
        // The entry is addressed by the number it was found under, not its place in the list.
        QTest::newRow("PCI-DAS08 as board 1, no board 0")
            << Boards{{1, {41, kDas08}}} << QStringList{kDas08} << 0 << -1 << "1";
        QTest::newRow("type 0 is no board")
            << Boards{{0, {0, kDas08}}, {3, {41, kDas08}}} << QStringList{kDas08} << 0 << -1 << "3";
        QTest::newRow("the user's choice") << Boards{{0, {41, kDas08}}, {4, {7, "Other"}}}
                                           << QStringList{kDas08, "Other"} << 0 << 1 << "4";
    }
    void listAndAccept() {
        QFETCH(Boards, boards);
        QFETCH(QStringList, names);
        QFETCH(int, preselected);
        QFETCH(int, chosen);
        QFETCH(QString, stored);
        Rig rig;
        rig.driver.boards = boards;
        auto dialog = rig.open();
        QCOMPARE(entries(*dialog), names);
        QCOMPARE(list(*dialog)->currentIndex(), preselected);
        if (chosen >= 0)
            list(*dialog)->setCurrentIndex(chosen);
        button(*dialog, "OKButton")->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(rig.settings.read(QStringLiteral("PCIPort"), QString()), stored);
        QVERIFY(rig.boards.isLoaded()); // the next showing offers the same list
        QCOMPARE(int(rig.state.BoardNum), stored.toInt());
    }

    void captionsAndLayout() {
        Rig rig;
        auto dialog = rig.open();
        QCOMPARE(dialog->windowTitle(), text(200));
        for (const auto& [control, id] : {std::pair{"lblPortInstructions", 201},
                                          {"lblPortAddress", 202},
                                          {"OKButton", 208},
                                          {"cmdCancel", 209}})
            QCOMPARE(
                dialog->findChild<QObject*>(QLatin1String(control))->property("text").toString(),
                text(id));
        QCOMPARE(button(*dialog, "OKButton")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));
        QCOMPARE(button(*dialog, "cmdCancel")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
        const QScreen* s = dialog->screen();
        QVERIFY(dialog->isModal());
        QCOMPARE(dialog->minimumSize(), QSize(twipsToPixels(5805, s), twipsToPixels(2280, s)));
        QCOMPARE(dialog->maximumSize(), dialog->minimumSize());
    }

    void waysOutOtherThanAccept_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("Esc") << "escape";
    }
    void waysOutOtherThanAccept() {
        QFETCH(QString, way);
        Rig rig;
        rig.driver.boards = {{0, {41, kDas08}}, {1, {7, "Other"}}};
        auto dialog = rig.open();
        dialog->show();
        list(*dialog)->setCurrentIndex(1);
        if (way == QLatin1String("cancel"))
            button(*dialog, "cmdCancel")->click();
        else if (way == QLatin1String("close"))
            dialog->close();
        else
            QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QVERIFY(rig.settings.values_.isEmpty());
        QCOMPARE(int(rig.state.BoardNum), int(kNoBoard));
        QVERIFY(!rig.boards.isLoaded()); // the next showing enumerates afresh
    }
};

QTEST_MAIN(TestDlgPort)
#include "test_dlgport.moc"
