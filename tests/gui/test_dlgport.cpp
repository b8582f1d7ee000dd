// The board dialog: its list, preselection, what Accept stores, and its life between showings.

#include "FakeDriver.h"

#include "app/Messages.h"
#include "app/ReaderState.h"
#include "app/Settings.h"
#include "app/Twips.h"
#include "dialogs/BoardSelection.h"
#include "dialogs/dlgPort.h"

#include <QComboBox>
#include <QLabel>
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
QStringList entries(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

} // namespace

class TestDlgPort : public QObject {
    Q_OBJECT
private slots:
    void listPreselectionAndAccept_data();
    void listPreselectionAndAccept();
    void captions_data();
    void captions();
    void clientArea();
    void acceptKeepsTheListForTheNextShowing();
    void waysOutOtherThanAccept_data();
    void waysOutOtherThanAccept();
    void acceptWithTheUsersChoice();
};

void TestDlgPort::listPreselectionAndAccept_data() {
    QTest::addColumn<Boards>("boards");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("preselected");
    QTest::addColumn<QString>("stored");
    const int das = 41, other = 7;
    QTest::newRow("one PCI-DAS08 as board 0")
        << Boards{{0, {das, kDas08}}} << QStringList{kDas08} << 0 << "0";
    QTest::newRow("another model, then a PCI-DAS08")
        << Boards{{0, {other, "PCI-DIO24"}}, {1, {das, kDas08}}} << QStringList{"PCI-DIO24", kDas08}
        << 1 << "1";
    // The entry is addressed by the number it was found under, not its place in the list.
    QTest::newRow("PCI-DAS08 as board 1, no board 0")
        << Boards{{1, {das, kDas08}}} << QStringList{kDas08} << 0 << "1";
    QTest::newRow("two PCI-DAS08: the later one") << Boards{{0, {das, kDas08}}, {1, {das, kDas08}}}
                                                  << QStringList{kDas08, kDas08} << 1 << "1";
    QTest::newRow("name in lower case is listed, not chosen")
        << Boards{{0, {das, "pci-das08"}}} << QStringList{"pci-das08"} << -1 << "-1";
    QTest::newRow("no board") << Boards{} << QStringList{} << -1 << "-1";
    QTest::newRow("board 199 is asked for")
        << Boards{{199, {das, kDas08}}} << QStringList{kDas08} << 0 << "199";
    QTest::newRow("type 0 is no board")
        << Boards{{0, {0, kDas08}}, {3, {das, kDas08}}} << QStringList{kDas08} << 0 << "3";
}

void TestDlgPort::listPreselectionAndAccept() {
    QFETCH(Boards, boards);
    QFETCH(QStringList, names);
    QFETCH(int, preselected);
    QFETCH(QString, stored);
    Rig rig;
    rig.driver.boards = boards;
    auto dialog = rig.open();
    QCOMPARE(entries(list(*dialog)), names);
    QCOMPARE(list(*dialog)->currentIndex(), preselected);

    button(*dialog, "OKButton")->click();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(rig.settings.read(QStringLiteral("PCIPort"), QString()), stored);
    QCOMPARE(int(rig.state.BoardNum), stored.toInt());
}

void TestDlgPort::captions_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("id");
    QTest::newRow("instructions") << "lblPortInstructions" << 201;
    QTest::newRow("list label") << "lblPortAddress" << 202;
    QTest::newRow("accept") << "OKButton" << 208;
    QTest::newRow("cancel") << "cmdCancel" << 209;
}

void TestDlgPort::captions() {
    QFETCH(QString, control);
    QFETCH(int, id);
    Rig rig;
    auto dialog = rig.open();
    QCOMPARE(dialog->windowTitle(), text(200));
    QObject* c = dialog->findChild<QObject*>(control);
    QVERIFY(c);
    QCOMPARE(c->property("text").toString(), text(id));
}

void TestDlgPort::clientArea() {
    Rig rig;
    auto dialog = rig.open();
    const QScreen* s = dialog->screen();
    QCOMPARE(dialog->minimumSize(), QSize(twipsToPixels(5805, s), twipsToPixels(2280, s)));
    QCOMPARE(dialog->maximumSize(), dialog->minimumSize());
    QVERIFY(dialog->isModal());
    QCOMPARE(list(*dialog)->geometry(), twipsRect(1920, 1560, 3375, 315, s));
}

void TestDlgPort::acceptKeepsTheListForTheNextShowing() {
    Rig rig;
    rig.driver.boards = {{0, {41, kDas08}}, {1, {41, kDas08}}};
    rig.open()->OKButton_Click();
    QCOMPARE(rig.settings.read(QStringLiteral("PCIPort"), QString()), QStringLiteral("1"));

    // Boards removed meanwhile: the next showing offers the accepted list, not a new one.
    rig.driver.boards.clear();
    const int queries = rig.driver.countOf(QStringLiteral("cbGetConfig"));
    auto again = rig.open();
    QCOMPARE(rig.driver.countOf(QStringLiteral("cbGetConfig")), queries);
    QCOMPARE(entries(list(*again)), (QStringList{kDas08, kDas08}));
    QCOMPARE(list(*again)->currentIndex(), 1);
    rig.settings.values_.clear();
    again->OKButton_Click(); // untouched: the same board again
    QCOMPARE(rig.settings.read(QStringLiteral("PCIPort"), QString()), QStringLiteral("1"));
}

void TestDlgPort::waysOutOtherThanAccept_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("close box") << "close";
    QTest::newRow("Esc") << "escape";
}

void TestDlgPort::waysOutOtherThanAccept() {
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

    // The next showing enumerates and preselects afresh.
    rig.driver.boards[2] = {41, kDas08};
    auto again = rig.open();
    QCOMPARE(entries(list(*again)), (QStringList{kDas08, "Other", kDas08}));
    QCOMPARE(list(*again)->currentIndex(), 2);
}

void TestDlgPort::acceptWithTheUsersChoice() {
    Rig rig;
    rig.driver.boards = {{0, {41, kDas08}}, {4, {7, "Other"}}};
    auto dialog = rig.open();
    QCOMPARE(button(*dialog, "OKButton")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));
    QCOMPARE(button(*dialog, "cmdCancel")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
    list(*dialog)->setCurrentIndex(1);
    button(*dialog, "OKButton")->click();
    QCOMPARE(rig.settings.read(QStringLiteral("PCIPort"), QString()), QStringLiteral("4"));
    QCOMPARE(int(rig.state.BoardNum), 4);
}

QTEST_MAIN(TestDlgPort)
#include "test_dlgport.moc"
