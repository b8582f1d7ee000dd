// The labels as one observable model: names, creation-time texts and coalesced notifications.

#include "core/LabelModel.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using namespace qvr;

namespace {
LabelSet setOf(const QSignalSpy& spy, int i) {
    return spy.at(i).at(0).value<qvr::LabelSet>();
}
} // namespace

class TestLabelModel : public QObject {
    Q_OBJECT
private slots:
    void initialTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const char* rows[][2] = {{"na", " "},
                                 {"lblPresent", "No film"},
                                 {"lblEEPROM", "Label3"},
                                 {"State", "starting"},
                                 {"Fault", ""}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
    }
    void initialTexts() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        const std::optional<Label> l = LabelModel::find(name);
        QVERIFY(l.has_value());
        QCOMPARE(LabelModel().text(*l), text);
    }

    // A reading writes three labels 5000 times: the text is there at once, the observers hear
    // once, after the writer returns, with the last texts and every label written.
    void manyWritesOneNotification() {
        LabelModel m;
        QSignalSpy spy(&m, &LabelModel::changed);
        QString seenADC;
        connect(&m, &LabelModel::changed, this, [&](LabelSet) { seenADC = m.text(Label::lblADC); });
        for (int i = 0; i < 5000; ++i) {
            m.set(Label::lblADC, QString::number(i));
            m.set(Label::lblButton, QStringLiteral("Button Up"));
        }
        QCOMPARE(m.text(Label::lblADC), QStringLiteral("4999"));
        QCOMPARE(spy.size(), 0); // no observer runs inside the writer
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(setOf(spy, 0), bit(Label::lblADC) | bit(Label::lblButton));
        QCOMPARE(seenADC, QStringLiteral("4999"));
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 1); // nothing more to tell
        // The next reading reaches the observers, also when it repeats the last text.
        m.set(Label::lblADC, QStringLiteral("4999"));
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 2);
    }

    void flushDeliversNowAndOnlyOnce() {
        LabelModel m;
        QSignalSpy spy(&m, &LabelModel::changed);
        m.set(Label::lblZero, QStringLiteral("1.0000"));
        m.flush();
        QCOMPARE(spy.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 1);
        // Writes after an early flush are still delivered at the next return.
        m.set(Label::lblVolt, QStringLiteral("1.0000"));
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 2);
        QCOMPARE(setOf(spy, 1), bit(Label::lblVolt));
    }

    // An observer that writes a label in its handler is told of that write next time round.
    void writeFromAnObserverIsNotLost() {
        LabelModel m;
        QSignalSpy spy(&m, &LabelModel::changed);
        connect(&m, &LabelModel::changed, this, [&](LabelSet s) {
            if (s & bit(Label::A))
                m.set(Label::WL, QStringLiteral("510 nm"));
        });
        m.set(Label::A, QStringLiteral(" 1.000"));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 2);
        QCOMPARE(setOf(spy, 1), bit(Label::WL));
    }

    // Every label is found again by its name and written under a bit of its own.
    void namesAndBitsAreUnique() {
        LabelModel m;
        QSignalSpy spy(&m, &LabelModel::changed);
        for (int i = 0; i < kLabelCount; ++i) {
            const Label l = static_cast<Label>(i);
            QCOMPARE(LabelModel::find(LabelModel::name(l)), std::optional<Label>(l));
            m.set(l, QStringLiteral("x"));
        }
        QVERIFY(!LabelModel::find(QStringLiteral("a")).has_value()); // names are exact
        QVERIFY(!LabelModel::find(QString()).has_value());
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(qPopulationCount(quint64(setOf(spy, 0))), uint(kLabelCount));
    }

    void modelGoneBeforeTheEventLoopReturns() {
        auto* m = new LabelModel;
        m->set(Label::A, QStringLiteral(" 0.000"));
        delete m;
        QCoreApplication::processEvents(); // the pending notification must not touch it
    }
};

QTEST_GUILESS_MAIN(TestLabelModel)
#include "test_label_model.moc"
