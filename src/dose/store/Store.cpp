#include "dose/store/Store.h"

#include "dose/store/Schema.h"
#include "dose/store/StoreInternals.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QStandardPaths>

namespace qvr::dose {

namespace {

// A pending append: the ledger entry and the domain row that refers to it.
struct Pending {
    const Table* table = nullptr;
    QVariantMap row;
    QString ref;
    QString canonical;
    qint64 id = 0;
};

QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("qvr100dose-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

QString sha256Hex(const QString& prevHash, const QString& canonical) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(prevHash.toLatin1());
    hash.addData(canonical.toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

Outcome<Done> Store::Private::run(QSqlQuery& query, const QString& sql,
                                  const QVariantList& values) const {
    query.setForwardOnly(true);
    // PostgreSQL prepares only queries and DML, not CREATE and the like: a statement without
    // values runs as it is.
    if (values.isEmpty()) {
        if (!query.exec(sql))
            return Failure{QStringLiteral("database error: %1").arg(query.lastError().text())};
        return Done{};
    }
    if (!query.prepare(sql))
        return Failure{QStringLiteral("database error preparing \"%1\": %2")
                           .arg(sql, query.lastError().text())};
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec())
        return Failure{QStringLiteral("database error: %1").arg(query.lastError().text())};
    return Done{};
}

Outcome<Done> Store::Private::forEach(const Table& table, const QString& where,
                                      const QVariantList& values,
                                      const std::function<void(const RowValues&)>& each) const {
    QStringList names{QStringLiteral("seq")};
    std::vector<int> at{0}; // where each selected column goes in the row
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (present(table, table.columns[i], version)) {
            names << QLatin1String(table.columns[i].name);
            at.push_back(static_cast<int>(i) + 1);
        }
    QString sql =
        QStringLiteral("SELECT %1 FROM %2").arg(names.join(QStringLiteral(", ")), table.name);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    sql += QStringLiteral(" ORDER BY ") + table.order;
    QSqlQuery q(db());
    if (auto r = run(q, sql, values); !r)
        return r;
    const int width = static_cast<int>(names.size());
    const int full = static_cast<int>(table.columns.size()) + 1;
    RowValues row;
    while (q.next()) {
        row.clear();
        row.resize(full);
        for (int i = 0; i < width; ++i)
            row[at[i]] = q.value(i);
        each(row);
    }
    if (q.lastError().isValid())
        return Failure{QStringLiteral("database error: %1").arg(q.lastError().text())};
    return Done{};
}

Outcome<std::vector<RowValues>> Store::Private::select(const Table& table, const QString& where,
                                                       const QVariantList& values) const {
    std::vector<RowValues> rows;
    auto r = forEach(table, where, values, [&](const RowValues& row) { rows.push_back(row); });
    if (!r)
        return Failure{r.error()};
    return rows;
}

Store::Store(std::unique_ptr<Private> d, Now now) : d_(std::move(d)), now_(std::move(now)) {}

Store::~Store() {
    const QString name = d_->connection;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
}

const Dialect& Store::dialect() const {
    return *d_->dialect;
}

QString Store::defaultLocation() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/QVR100/dose.sqlite");
}

namespace {

// Runs body inside the one writer's transaction; commits only when everything succeeded.
template <class Body> Outcome<Done> inWrite(const Store::Private& d, Body body) {
    QSqlDatabase db = d.db();
    bool begun = false;
    for (int attempt = 0; attempt < 20 && !begun; ++attempt) {
        begun = true;
        for (const QString& sql : d.dialect->beginWrite()) {
            QSqlQuery q(db);
            if (!q.exec(sql)) {
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                if (!d.dialect->isBusy(q.lastError()) || attempt == 19)
                    return Failure{
                        QStringLiteral("cannot start writing: %1").arg(q.lastError().text())};
                begun = false;
                break;
            }
        }
    }
    Outcome<Done> result = body();
    QSqlQuery end(db);
    if (!result) {
        end.exec(QStringLiteral("ROLLBACK"));
        return result;
    }
    if (!end.exec(QStringLiteral("COMMIT"))) {
        const QString why = end.lastError().text();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return Failure{QStringLiteral("the write was not committed: %1").arg(why)};
    }
    return Done{};
}

} // namespace

Outcome<Done> writeTransaction(const Store::Private& d,
                               const std::function<Outcome<Done>()>& body) {
    return inWrite(d, body);
}

Outcome<std::unique_ptr<Store>> Store::open(const QString& location, Now now) {
    return openAtVersion(location, kSchemaVersion, nullptr, std::move(now));
}

Outcome<std::unique_ptr<Store>> Store::openAtVersion(const QString& location, int to,
                                                     SchemaChange* change, Now now) {
    auto dialect = dialectFor(location);
    if (!dialect)
        return Failure{dialect.error()};
    auto d = std::make_unique<Private>();
    d->dialect = std::move(*dialect);
    d->connection = nextConnectionName();
    d->location = location;
    const QString driver = d->dialect->driver(), connection = d->connection;
    std::unique_ptr<Store> store(new Store(std::move(d), std::move(now)));
    {
        // Released before the store, which removes the connection when it goes.
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, connection);
        if (!db.isValid())
            return Failure{QStringLiteral("the Qt SQL driver %1 is not installed").arg(driver)};
        if (auto opened = store->d_->dialect->open(db, location); !opened)
            return Failure{opened.error()};
    }

    auto migrated = migrateSchema(*store, *store->d_, to);
    if (!migrated)
        return Failure{migrated.error()};
    if (change)
        *change = *migrated;
    return store;
}

namespace {

// Appends pending to the chain: the ledger row, then the domain row pointing at it.
Outcome<Receipt> append(const Store::Private& d, const Pending& p) {
    QSqlQuery q(d.db());
    if (auto r = d.run(q, QStringLiteral("SELECT seq, hash FROM ledger ORDER BY seq DESC LIMIT 1"));
        !r)
        return Failure{r.error()};
    Receipt receipt;
    QString prev = QString::fromLatin1(kGenesisHash);
    receipt.seq = 1;
    if (q.next()) {
        receipt.seq = q.value(0).toLongLong() + 1;
        prev = q.value(1).toString();
    }
    q.finish();
    receipt.hash = sha256Hex(prev, p.canonical);
    receipt.id = p.id;
    if (auto r = d.run(q,
                       QStringLiteral("INSERT INTO ledger (seq, kind, ref, canonical, prev_hash, "
                                      "hash) VALUES (?, ?, ?, ?, ?, ?)"),
                       {receipt.seq, p.table->kind, p.ref, p.canonical, prev, receipt.hash});
        !r)
        return Failure{r.error()};
    QStringList names{QStringLiteral("seq")};
    QVariantList values{receipt.seq};
    for (const Column& c : p.table->columns) {
        if (!present(*p.table, c, d.version))
            continue;
        names << QLatin1String(c.name);
        values << p.row.value(QLatin1String(c.name));
    }
    QStringList marks;
    for (int i = 0; i < names.size(); ++i)
        marks << QStringLiteral("?");
    if (auto r = d.run(q,
                       QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(p.table->name, names.join(QStringLiteral(", ")),
                                marks.join(QStringLiteral(", "))),
                       values);
        !r)
        return Failure{r.error()};
    return receipt;
}

Outcome<qint64> nextId(const Store::Private& d, const QString& table) {
    QSqlQuery q(d.db());
    if (auto r = d.run(q, QStringLiteral("SELECT MAX(id) FROM %1").arg(table)); !r)
        return Failure{r.error()};
    return q.next() ? q.value(0).toLongLong() + 1 : 1;
}

Outcome<bool> exists(const Store::Private& d, const QString& table, const QVariant& id) {
    QSqlQuery q(d.db());
    if (auto r = d.run(q, QStringLiteral("SELECT 1 FROM %1 WHERE id = ?").arg(table), {id}); !r)
        return Failure{r.error()};
    return q.next();
}

// One write: prepare() runs inside the transaction and gives what to append.
template <class Prepare> Outcome<Receipt> write(const Store::Private& d, Prepare prepare) {
    Receipt receipt;
    auto done = inWrite(d, [&]() -> Outcome<Done> {
        Outcome<Pending> p = prepare();
        if (!p)
            return Failure{p.error()};
        auto r = append(d, *p);
        if (!r)
            return Failure{r.error()};
        receipt = *r;
        return Done{};
    });
    if (!done)
        return Failure{done.error()};
    return receipt;
}

} // namespace

Outcome<Receipt> writeRow(const Store::Private& d,
                          const std::function<Outcome<NewRow>()>& prepare) {
    return write(d, [&]() -> Outcome<Pending> {
        auto p = prepare();
        if (!p)
            return Failure{p.error()};
        return Pending{p->table, p->row, p->ref, p->canonical, p->id};
    });
}

Outcome<Receipt> appendRow(const Store::Private& d, const NewRow& row) {
    return append(d, Pending{row.table, row.row, row.ref, row.canonical, row.id});
}

Outcome<qint64> nextRowId(const Store::Private& d, const QString& table) {
    return nextId(d, table);
}

Outcome<Receipt> Store::addBatch(Batch batch) {
    batch.createdAt = now_();
    return write(*d_, [&]() -> Outcome<Pending> {
        auto found = exists(*d_, batchTable().name, batch.id);
        if (!found)
            return Failure{found.error()};
        if (*found)
            return Failure{QStringLiteral("batch %1 already exists").arg(batch.id)};
        return Pending{&batchTable(), rowOf(batch), QStringLiteral("batch ") + batch.id,
                       batch.canonical(), 0};
    });
}

Outcome<Receipt> Store::addCalibration(Calibration calibration) {
    calibration.createdAt = now_();
    return write(*d_, [&]() -> Outcome<Pending> {
        auto found = exists(*d_, batchTable().name, calibration.batchId);
        if (!found)
            return Failure{found.error()};
        if (!*found)
            return Failure{QStringLiteral("no batch %1").arg(calibration.batchId)};
        auto id = nextId(*d_, calibrationTable().name);
        if (!id)
            return Failure{id.error()};
        calibration.id = *id;
        return Pending{&calibrationTable(), rowOf(calibration),
                       QStringLiteral("calibration %1").arg(*id), calibration.canonical(), *id};
    });
}

Outcome<Receipt> Store::addFit(Fit fit) {
    fit.createdAt = now_();
    // A row is written in the form of the database's version.
    if (d_->version < 3)
        fit.judgedWhenFitted = false;
    return write(*d_, [&]() -> Outcome<Pending> {
        auto found = exists(*d_, calibrationTable().name, fit.calibrationId);
        if (!found)
            return Failure{found.error()};
        if (!*found)
            return Failure{QStringLiteral("no calibration %1").arg(fit.calibrationId)};
        auto id = nextId(*d_, fitTable().name);
        if (!id)
            return Failure{id.error()};
        fit.id = *id;
        return Pending{&fitTable(), rowOf(fit), QStringLiteral("fit %1").arg(*id), fit.canonical(),
                       *id};
    });
}

Outcome<Receipt> Store::addJob(Job job) {
    job.createdAt = now_();
    if (d_->version < 3)
        job.ruleStored = false;
    return write(*d_, [&]() -> Outcome<Pending> {
        auto found = exists(*d_, jobTable().name, job.id);
        if (!found)
            return Failure{found.error()};
        if (*found)
            return Failure{QStringLiteral("job %1 already exists").arg(job.id)};
        return Pending{&jobTable(), rowOf(job), QStringLiteral("job ") + job.id, job.canonical(),
                       0};
    });
}

namespace {

// A new record's id and reread count, given inside the write.
Outcome<Pending> newRecord(const Store::Private& d, Record& record,
                           const std::function<void(Record&)>& complete) {
    auto found = exists(d, jobTable().name, record.jobId);
    if (!found)
        return Failure{found.error()};
    if (!*found)
        return Failure{QStringLiteral("no job %1").arg(record.jobId)};
    auto id = nextId(d, recordTable().name);
    if (!id)
        return Failure{id.error()};
    record.id = *id;
    record.version = 1;
    QSqlQuery q(d.db());
    if (auto r = d.run(q,
                       QStringLiteral("SELECT COUNT(*) FROM records WHERE job_id = ? AND "
                                      "dosimeter = ? AND version = 1"),
                       {record.jobId, record.dosimeter});
        !r)
        return Failure{r.error()};
    record.reread = q.next() ? q.value(0).toInt() : 0;
    if (complete)
        complete(record);
    return Pending{&recordTable(), rowOf(record), QStringLiteral("record %1 v1").arg(record.id),
                   record.canonical(), record.id};
}

} // namespace

Outcome<Receipt> Store::addRecord(Record record, const std::function<void(Record&)>& complete) {
    record.createdAt = now_();
    return write(*d_, [&]() { return newRecord(*d_, record, complete); });
}

Outcome<Receipt> Store::addRecords(std::vector<Record> records,
                                   const std::function<void(Record&)>& complete) {
    if (records.empty())
        return Failure{QStringLiteral("no records to add")};
    Receipt last;
    auto done = inWrite(*d_, [&]() -> Outcome<Done> {
        for (Record& record : records) {
            record.createdAt = now_();
            auto p = newRecord(*d_, record, complete);
            if (!p)
                return Failure{p.error()};
            auto r = append(*d_, *p);
            if (!r)
                return Failure{r.error()};
            last = *r;
        }
        return Done{};
    });
    if (!done)
        return Failure{done.error()};
    return last;
}

Outcome<Receipt> Store::correctRecord(qint64 id,
                                      const std::function<Outcome<Record>(const Record&)>& revise) {
    return write(*d_, [&]() -> Outcome<Pending> {
        auto latest = record(id);
        if (!latest)
            return Failure{latest.error()};
        auto revised = revise(*latest);
        if (!revised)
            return Failure{revised.error()};
        Record next = *revised;
        next.id = id;
        next.version = latest->version + 1;
        next.createdAt = now_();
        return Pending{&recordTable(), rowOf(next),
                       QStringLiteral("record %1 v%2").arg(id).arg(next.version), next.canonical(),
                       id};
    });
}

namespace {

template <class T, class Of>
Outcome<T> one(const Store::Private& d, const Table& table, const QString& where,
               const QVariantList& values, const QString& missing, Of of) {
    auto rows = d.select(table, where, values);
    if (!rows)
        return Failure{rows.error()};
    if (rows->empty())
        return Failure{missing};
    return of(rows->back());
}

template <class T, class Of>
Outcome<std::vector<T>> all(const Store::Private& d, const Table& table, Of of,
                            const QString& where = QString(), const QVariantList& values = {}) {
    std::vector<T> out;
    auto r = d.forEach(table, where, values, [&](const RowValues& row) { out.push_back(of(row)); });
    if (!r)
        return Failure{r.error()};
    return out;
}

} // namespace

Outcome<Batch> Store::batch(const QString& id) {
    return one<Batch>(*d_, batchTable(), QStringLiteral("id = ?"), {id},
                      QStringLiteral("no batch %1").arg(id), batchOf);
}

Outcome<std::vector<Batch>> Store::batches() {
    return all<Batch>(*d_, batchTable(), batchOf);
}

Outcome<Calibration> Store::calibration(qint64 id) {
    return one<Calibration>(*d_, calibrationTable(), QStringLiteral("id = ?"), {id},
                            QStringLiteral("no calibration %1").arg(id), calibrationOf);
}

Outcome<std::vector<Calibration>> Store::calibrations() {
    return all<Calibration>(*d_, calibrationTable(), calibrationOf);
}

Outcome<Fit> Store::latestFit(qint64 calibrationId) {
    return judgedOnRead(
        *this, one<Fit>(*d_, fitTable(), QStringLiteral("calibration_id = ?"), {calibrationId},
                        QStringLiteral("calibration %1 has no fit yet: run calibration fit %1")
                            .arg(calibrationId),
                        usableFitOf));
}

Outcome<Fit> Store::fit(qint64 id) {
    return judgedOnRead(*this, one<Fit>(*d_, fitTable(), QStringLiteral("id = ?"), {id},
                                        QStringLiteral("no fit %1").arg(id), usableFitOf));
}

Outcome<Job> Store::job(const QString& id) {
    return one<Job>(*d_, jobTable(), QStringLiteral("id = ?"), {id},
                    QStringLiteral("no job %1").arg(id), jobOf);
}

Outcome<std::vector<Job>> Store::jobs() {
    return all<Job>(*d_, jobTable(), jobOf);
}

Outcome<Record> Store::record(qint64 id) {
    return one<Record>(*d_, recordTable(), QStringLiteral("id = ?"), {id},
                       QStringLiteral("no record %1").arg(id), recordOf);
}

Outcome<std::vector<Record>> Store::records(const QString& jobId) {
    return all<Record>(*d_, recordTable(), recordOf, QStringLiteral("job_id = ?"), {jobId});
}

Outcome<QString> Store::headHash() {
    QSqlQuery q(d_->db());
    if (auto r = d_->run(q, QStringLiteral("SELECT hash FROM ledger ORDER BY seq DESC LIMIT 1"));
        !r)
        return Failure{r.error()};
    return q.next() ? q.value(0).toString() : QString();
}

} // namespace qvr::dose
