// The boards the card offers, which one is preselected, and what choosing one stores.

#include "FakeDriver.h"

#include "core/ReaderState.h"
#include "core/Settings.h"
#include "reader/BoardSelection.h"

#include <QtTest>

#include <cstring>

using namespace qvr;
using namespace qvr::test;

class TestBoardSelection : public QObject {
    Q_OBJECT
private slots:
    void boardEnumeration_data();
    void boardEnumeration();
    void boardNameWithoutTerminatorIsCut();
    void acceptedListIsKeptCancelledListIsNot();
};

using Boards = std::map<int, std::pair<int, QString>>;

void TestBoardSelection::boardEnumeration_data() {
    QTest::addColumn<Boards>("boards");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("stored");

    const QString das08 = QStringLiteral("PCI-DAS08");
    // What is stored is the entry's board number, not its position; without a selection
    // nothing is stored, nor anything like -1.
    QTest::newRow("type 0 is no board")
        << Boards{{0, {0, das08}}, {3, {1, das08}}} << QStringList{das08} << 0 << "3";
    QTest::newRow("another model as 0, PCI-DAS08 as 1")
        << Boards{{0, {2, QStringLiteral("PCI-DIO24")}}, {1, {1, das08}}}
        << QStringList{QStringLiteral("PCI-DIO24"), das08} << 1 << "1";
    QTest::newRow("two PCI-DAS08: the later wins")
        << Boards{{0, {1, das08}}, {1, {1, das08}}} << QStringList{das08, das08} << 1 << "1";
    QTest::newRow("lower-case name is listed, not preselected")
        << Boards{{0, {1, QStringLiteral("pci-das08")}}} << QStringList{QStringLiteral("pci-das08")}
        << -1 << QString();
    QTest::newRow("no board") << Boards{} << QStringList{} << -1 << QString();
    QTest::newRow("last board number")
        << Boards{{199, {1, das08}}} << QStringList{das08} << 0 << "199";
    QTest::newRow("empty name") << Boards{{3, {1, QString()}}}
                                << QStringList{QStringLiteral("Board 3")} << -1 << QString();
}

void TestBoardSelection::boardEnumeration() {
    QFETCH(Boards, boards);
    QFETCH(QStringList, names);
    QFETCH(int, selected);
    QFETCH(QString, stored);
    FakeDriver driver;
    driver.boards = boards;
    BoardSelection selection;
    selection.load(driver);
    QCOMPARE(driver.countOf(QStringLiteral("cbGetConfig")), kMaxBoards);
    QStringList listed;
    for (const auto& e : selection.entries())
        listed << e.name;
    QCOMPARE(listed, names);
    QCOMPARE(selection.selected(), selected);
    ReaderState state;
    state.BoardNum = kNoBoard;
    MemorySettings settings;
    QCOMPARE(selection.accept(state, settings), !stored.isNull());
    QCOMPARE(settings.values_.value(QStringLiteral("PCIPort")), stored);
    QCOMPARE(int(state.BoardNum), stored.isNull() ? int(kNoBoard) : stored.toInt());
}

namespace {
class UnterminatedNameDriver : public FakeDriver {
public:
    int cbGetBoardName(int, char* name) override {
        std::memset(name, 'A', kBoardNameSize);
        return 0;
    }
};
} // namespace

void TestBoardSelection::boardNameWithoutTerminatorIsCut() {
    UnterminatedNameDriver driver;
    QCOMPARE(boardName(driver, 0), QString(kBoardNameSize, QLatin1Char('A')));
}

void TestBoardSelection::acceptedListIsKeptCancelledListIsNot() {
    FakeDriver driver;
    driver.boards = {{0, {1, QStringLiteral("X")}}, {2, {1, QStringLiteral("PCI-DAS08")}}};
    BoardSelection selection;
    ReaderState state;
    MemorySettings settings;
    selection.load(driver);
    selection.select(0);
    selection.cancel(); // nothing written; the next showing enumerates and preselects anew
    QVERIFY(settings.values_.isEmpty());
    selection.load(driver);
    QCOMPARE(selection.selected(), 1);
    selection.accept(state, settings);
    driver.clearLog();
    driver.boards.clear(); // removed meanwhile: the accepted list is shown again
    selection.load(driver);
    QVERIFY(driver.calls.isEmpty());
    settings.values_.clear();
    selection.accept(state, settings);
    QCOMPARE(settings.values_.value(QStringLiteral("PCIPort")), QStringLiteral("2"));
    selection.select(7);
    QCOMPARE(selection.selected(), -1);
}

QTEST_GUILESS_MAIN(TestBoardSelection)
#include "test_board_selection.moc"
