// The SQLite store: what is written reads back, tables refuse UPDATE and DELETE by themselves,
// verify names the first row changed or removed behind the program's back, and a database from
// a newer program is refused.

#include "DoseScenario.h"
#include "dose/store/Tables.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace qvr::dose;

namespace {

Now fixedClock() {
    return [] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30, 0, 250), Qt::UTC); };
}

// A raw connection beside the store's, as anyone with the file could open.
class Raw {
public:
    explicit Raw(const QString& path) : name_(QStringLiteral("raw-%1").arg(++count_)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.open();
    }
    ~Raw() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QString exec(const QString& sql) { // "" on success, else the error
        QSqlQuery q(QSqlDatabase::database(name_));
        return q.exec(sql) ? QString() : q.lastError().text();
    }

private:
    QString name_;
    static inline int count_ = 0;
};

} // namespace

class TestDoseStore : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path_;
    std::unique_ptr<Store> store_;

    // batch (1), calibration (2), fit (3), job (4), record 1 v1 (5), record 2 v1 (6) of the same
    // dosimeter, record 1 v2 (7)
    void fill() {
        auto s = qvr::test::seedStore(*store_);
        QVERIFY2(s, qPrintable(s.error()));
        for (int i = 0; i < 2; ++i)
            QVERIFY(qvr::test::addScenarioRecord(*store_, *s, 1));
        const auto corrected = store_->correctRecord(1, [](const Record& r) -> Outcome<Record> {
            Record next = r;
            next.thicknessUm = 51;
            next.reason = QStringLiteral("gauge reading");
            return next;
        });
        QVERIFY2(corrected, qPrintable(corrected.error()));
    }

private slots:
    void init() {
        path_ = dir_.filePath(QStringLiteral("%1.sqlite").arg(QTest::currentTestFunction()) +
                              QTest::currentDataTag());
        auto s = Store::open(path_, fixedClock());
        QVERIFY2(s, qPrintable(s.error()));
        store_ = std::move(*s);
        fill();
    }
    void cleanup() { store_.reset(); }

    void writesReadBack() {
        const auto records = store_->records(QStringLiteral("J-7"));
        QVERIFY(records);
        QCOMPARE(records->size(), size_t(3));
        QCOMPARE(records->at(0).version, 1);
        QCOMPARE(records->at(1).version, 2);
        QCOMPARE(records->at(1).reason, QStringLiteral("gauge reading"));
        QCOMPARE(records->at(2).reread, 1);
        QCOMPARE(records->at(2).readings.size(), size_t(3));
        QCOMPARE(records->at(0).createdAt, fixedClock()());
        QCOMPARE(store_->record(1)->thicknessUm, 51.0);
        QVERIFY(!store_->batch(QStringLiteral("nope")));
        Batch again;
        again.id = QStringLiteral("B-2026-03");
        again.thicknessUm = 1;
        QVERIFY(!store_->addBatch(again));
        const ChainReport r = store_->verify();
        QVERIFY2(r.whole, qPrintable(r.problem));
        QCOMPARE(r.rows, 7);
        QCOMPARE(r.headHash, *store_->headHash());
    }

    // A bulk load writes what records written one at a time write: ids, rereads, the chain.
    void bulkLoadIsOneByOne() {
        QStringList heads;
        for (const bool bulk : {false, true}) {
            auto s = Store::open(dir_.filePath(bulk ? "bulk.sqlite" : "one.sqlite"), fixedClock());
            QVERIFY2(s, qPrintable(s.error()));
            const auto seeded = qvr::test::seedStore(**s);
            QVERIFY(seeded);
            std::vector<Record> records;
            for (int n = 0; n < 120; ++n)
                records.push_back(qvr::test::scenarioRecord(**s, *seeded, n));
            const auto evaluate = qvr::test::scenarioEvaluation(*seeded);
            if (bulk)
                QVERIFY((*s)->addRecords(records, evaluate));
            for (size_t i = 0; !bulk && i < records.size(); ++i)
                QVERIFY((*s)->addRecord(records[i], evaluate));
            QCOMPARE((*s)->record(120)->reread, 2);
            QVERIFY((*s)->verify().whole);
            heads << *(*s)->headHash();
        }
        QCOMPARE(heads[1], heads[0]);
    }

    void tablesRefuseChange_data() {
        QTest::addColumn<QString>("sql");
        for (const char* table : {"ledger", "batches", "calibrations", "fits", "jobs", "records"}) {
            QTest::addRow("update %s", table)
                << QStringLiteral("UPDATE %1 SET seq = seq").arg(table);
            QTest::addRow("delete %s", table) << QStringLiteral("DELETE FROM %1").arg(table);
        }
    }
    void tablesRefuseChange() {
        QFETCH(QString, sql);
        Raw raw(path_);
        const QString error = raw.exec(sql);
        QVERIFY2(error.contains(QLatin1String("append-only")), qPrintable(error));
        QVERIFY(store_->verify().whole);
    }

    // Where the server keeps the chain it lets a login append a row only when the row's person
    // column names that login: a table without one could be appended by no one.
    void everyTableNamesItsPerson() {
        for (const Table* t : allTables()) {
            const auto& columns = t->columns;
            const auto person = std::find_if(columns.begin(), columns.end(), [&](const Column& c) {
                return QLatin1String(c.name) == QLatin1String(t->person);
            });
            QVERIFY2(person != columns.end() && person->type == ColumnType::Text &&
                         person->since == 1,
                     qPrintable(t->name));
        }
    }

    // With the triggers dropped, as someone with the file could, verify still finds it.
    void verifyNamesTheFirstBrokenRow_data() {
        QTest::addColumn<QStringList>("tamper");
        QTest::addColumn<QString>("problem");
        QTest::newRow("column changed")
            << QStringList{"DROP TRIGGER records_no_update",
                           "UPDATE records SET dose_kgy = 25 WHERE id = 2"}
            << "record 2 v1 (ledger row 6) was changed: its columns differ";
        QTest::newRow("ledger text changed")
            << QStringList{"DROP TRIGGER ledger_no_update",
                           "UPDATE ledger SET canonical = replace(canonical, 'syringes', 'gloves') "
                           "WHERE seq = 4"}
            << "ledger row 4 (job J-7) was changed: its hash does not match";
        QTest::newRow("row and text changed alike")
            << QStringList{"DROP TRIGGER ledger_no_update", "DROP TRIGGER jobs_no_update",
                           "UPDATE ledger SET canonical = replace(canonical, 'syringes', 'gloves') "
                           "WHERE seq = 4",
                           "UPDATE jobs SET product = 'gloves, 2 pallets'"}
            << "ledger row 4 (job J-7) was changed";
        QTest::newRow("domain row removed")
            << QStringList{"DROP TRIGGER batches_no_delete", "PRAGMA foreign_keys = OFF",
                           "DELETE FROM batches"}
            << "batch B-2026-03 (ledger row 1) was removed from its table";
        QTest::newRow("ledger row removed")
            << QStringList{"DROP TRIGGER ledger_no_delete", "PRAGMA foreign_keys = OFF",
                           "DELETE FROM ledger WHERE seq = 3"}
            << "ledger row 3 is missing";
    }
    void verifyNamesTheFirstBrokenRow() {
        QFETCH(QStringList, tamper);
        QFETCH(QString, problem);
        {
            Raw raw(path_);
            for (const QString& sql : tamper)
                QCOMPARE(raw.exec(sql), QString());
        }
        const ChainReport r = store_->verify();
        QVERIFY(!r.whole);
        QVERIFY2(r.problem.startsWith(problem), qPrintable(r.problem));
    }

    // A fit changed behind the program's back gives no dose: not as another model, not from
    // numbers it does not have.
    void damagedFitIsRefused_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("problem");
        QTest::newRow("unknown model") << "model = 'poly9'"
                                       << "does not know";
        QTest::newRow("short covariance") << "covariance = '[1]'"
                                          << "is damaged";
    }
    void damagedFitIsRefused() {
        QFETCH(QString, change);
        QFETCH(QString, problem);
        {
            Raw raw(path_);
            QCOMPARE(raw.exec(QStringLiteral("DROP TRIGGER fits_no_update")), QString());
            QCOMPARE(raw.exec(QStringLiteral("UPDATE fits SET ") + change), QString());
        }
        for (const auto& fit : {store_->fit(1), store_->latestFit(1)}) {
            QVERIFY(!fit);
            QVERIFY2(fit.error().contains(problem), qPrintable(fit.error()));
        }
    }

    // Cutting the newest rows leaves a chain that is whole in itself; only the hash printed
    // after the last write shows they are gone.
    void cutOffNewestRowsNeedExpect() {
        const QString printed = *store_->headHash();
        {
            Raw raw(path_);
            for (const char* sql :
                 {"DROP TRIGGER ledger_no_delete", "DROP TRIGGER records_no_delete",
                  "DELETE FROM records WHERE version = 2", "DELETE FROM ledger WHERE seq = 7"})
                QCOMPARE(raw.exec(QLatin1String(sql)), QString());
        }
        QVERIFY(store_->verify().whole);
        const ChainReport r = store_->verify(printed);
        QVERIFY(!r.whole);
        QVERIFY2(r.problem.contains(QStringLiteral("does not contain %1").arg(printed)),
                 qPrintable(r.problem));
        QVERIFY(store_->verify(*store_->headHash()).whole);
    }

    void newerDatabaseIsRefused() {
        store_.reset();
        {
            Raw raw(path_);
            QCOMPARE(raw.exec(QStringLiteral(
                         "UPDATE meta SET value = '99' WHERE key = 'schema_version'")),
                     QString());
        }
        const auto s = Store::open(path_, fixedClock());
        QVERIFY(!s);
        QVERIFY2(s.error().contains(QLatin1String("schema version 99, newer than this qvr100dose")),
                 qPrintable(s.error()));
    }
};

QTEST_GUILESS_MAIN(TestDoseStore)
#include "test_dose_store.moc"
