// The board dialog over BoardSelection: its list, what Accept stores, the ways out.

#include "FakeDriver.h"

#include "core/ReaderState.h"
#include "core/Settings.h"
#include "reader/BoardSelection.h"
#include "ui/dlgPort.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
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
    std::unique_ptr<dlgPort> open(bool simulated = false, dlgPort::Claim claim = {}) {
        return std::make_unique<dlgPort>(boards, driver, state, settings, nullptr, simulated,
                                         std::move(claim));
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
        // Which boards are listed and preselected is BoardSelection's, tested with it.
        QTest::newRow("preselected, no board 0")
            << Boards{{1, {41, kDas08}}} << QStringList{kDas08} << 0 << -1 << "1";
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

    void keysAndLayout_data() {
        QTest::addColumn<bool>("simulated");
        QTest::addColumn<Boards>("boards");
        QTest::newRow("real card") << false << Boards{{0, {41, kDas08}}};
        QTest::newRow("simulated card") << true << Boards{{0, {41, kDas08}}};
        QTest::newRow("no PCI-DAS08 found") << false << Boards{};
    }
    void keysAndLayout() {
        QFETCH(bool, simulated);
        QFETCH(Boards, boards);
        Rig rig;
        rig.driver.boards = boards;
        auto dialog = rig.open(simulated);
        // No board, no choice; and the dialog says how to make the card's driver find one.
        QCOMPARE(button(*dialog, "OKButton")->isEnabled(), !boards.empty());
        QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("lblNoCard")) != nullptr,
                 boards.empty());
        QCOMPARE(button(*dialog, "OKButton")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));
        QCOMPARE(button(*dialog, "cmdCancel")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
        QVERIFY(dialog->isModal());
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());

        // Only the simulated card says what it is; no control touches another or the edge,
        // and the card's label stands level with its list.
        QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("lblSimulatedCard")) != nullptr,
                 simulated);
        const QList<QWidget*> controls = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* c : controls) {
            QVERIFY2(dialog->rect().adjusted(1, 1, -1, -1).contains(c->geometry()),
                     qPrintable(c->objectName()));
            for (QWidget* other : controls)
                QVERIFY2(c == other || !c->geometry().intersects(other->geometry()),
                         qPrintable(c->objectName() + QLatin1Char(' ') + other->objectName()));
        }
        QCOMPARE(
            dialog->findChild<QWidget*>(QStringLiteral("lblPortAddress"))->geometry().center().y(),
            list(*dialog)->geometry().center().y());
    }

    // A card another instance drives is refused: nothing stored, the board in use kept.
    void boardOfAnotherInstanceIsRefused() {
        Rig rig;
        rig.driver.boards = {{0, {41, kDas08}}};
        auto dialog = rig.open(false, [](std::int16_t board) {
            return QStringLiteral("/dev/comedi%1 is in use by another QVR100PCI").arg(board);
        });
        dialog->show();
        QString said;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            said = box->text();
            box->accept();
        });
        button(*dialog, "OKButton")->click();
        QVERIFY(said.startsWith(QStringLiteral("/dev/comedi0 is in use")));
        QVERIFY(dialog->isVisible());
        QVERIFY(rig.settings.values_.isEmpty());
        QCOMPARE(int(rig.state.BoardNum), int(kNoBoard));
    }

    void waysOutOtherThanAccept_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("Cancel") << "cancel";
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
