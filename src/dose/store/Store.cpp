#include "dose/store/Store.h"

#include "dose/core/RecordTexts.h"
#include "dose/core/RoutineJob.h"
#include "dose/core/TextRules.h"
#include "dose/store/ChainWriter.h"
#include "dose/store/Schema.h"
#include "dose/store/StoreInternals.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QStandardPaths>
#include <algorithm>
#include <map>
#include <tuple>

namespace qvr::dose {

namespace {

constexpr int kRoutineJobsVersion = 9;

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
                                      const std::function<void(const RowValues&)>& each,
                                      bool sorted) const {
    QStringList names{QStringLiteral("seq")};
    std::vector<int> at{0}; // where each selected column goes in the row
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (const Column& c = table.columns[i]; present(table, c, version)) {
            names << (c.type == ColumnType::Text ? dialect->exactText(QLatin1String(c.name))
                                                 : QString::fromLatin1(c.name));
            at.push_back(static_cast<int>(i) + 1);
        }
    QString sql =
        QStringLiteral("SELECT %1 FROM %2").arg(names.join(QStringLiteral(", ")), table.name);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    if (sorted)
        sql += QStringLiteral(" ORDER BY ") + table.order;
    QSqlDatabase connection = db();
    const int full = static_cast<int>(table.columns.size()) + 1;
    if (static_cast<int>(at.size()) == full)
        return dialect->selectRows(connection, sql, values, each);
    // An older database: the columns it lacks read as NULL.
    const int width = static_cast<int>(at.size());
    RowValues row;
    return dialect->selectRows(connection, sql, values, [&](const QVariantList& selected) {
        row.clear();
        row.resize(full);
        for (int i = 0; i < width; ++i)
            row[at[i]] = selected[i];
        each(row);
    });
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

Outcome<std::unique_ptr<Store>> Store::open(const QString& location, Now now, IfMissing missing,
                                            const QString& account) {
    return openAtVersion(location, kSchemaVersion, nullptr, std::move(now), missing, account);
}

Outcome<std::unique_ptr<Store>> Store::openAtVersion(const QString& location, int to,
                                                     SchemaChange* change, Now now,
                                                     IfMissing missing, const QString& account) {
    auto dialect = dialectFor(location);
    if (!dialect)
        return Failure{dialect.error()};
    auto d = std::make_unique<Private>();
    d->dialect = std::move(*dialect);
    d->connection = nextConnectionName();
    d->location = location;
    d->founder = account;
    const QString driver = d->dialect->driver(), connection = d->connection;
    std::unique_ptr<Store> store(new Store(std::move(d), std::move(now)));
    {
        // Released before the store, which removes the connection when it goes.
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, connection);
        if (!db.isValid())
            return Failure{QStringLiteral("the Qt SQL driver %1 is not installed").arg(driver)};
        const bool create = missing == IfMissing::Create;
        if (auto opened = store->d_->dialect->open(db, location, create); !opened)
            return Failure{opened.error()};
        if (!create && !db.tables().contains(QStringLiteral("meta")))
            return Failure{QStringLiteral("%1 holds no dose database yet: qvr100dose --db %1 db "
                                          "init creates one")
                               .arg(location)};
    }

    auto migrated = migrateSchema(*store, *store->d_, to);
    if (!migrated)
        return Failure{migrated.error()};
    if (change)
        *change = *migrated;
    return store;
}

QStringList ledgerColumns(bool withLogin) {
    QStringList names{QStringLiteral("seq"),       QStringLiteral("kind"),
                      QStringLiteral("ref"),       QStringLiteral("canonical"),
                      QStringLiteral("prev_hash"), QStringLiteral("hash")};
    if (withLogin)
        names << QStringLiteral("login");
    return names;
}

QStringList columnNames(const Table& table, int version) {
    QStringList names{QStringLiteral("seq")};
    for (const Column& c : table.columns)
        if (present(table, c, version))
            names << QLatin1String(c.name);
    return names;
}

QVariantList rowValues(const Table& table, int version, qint64 seq, const QVariantMap& row) {
    QVariantList values{seq};
    for (const Column& c : table.columns)
        if (present(table, c, version))
            values << row.value(QLatin1String(c.name));
    return values;
}

namespace {

// Appends pending to the chain: the ledger row, then the domain row pointing at it.
Outcome<Receipt> append(const Store::Private& d, const Pending& p) {
    // A signature the database has no columns for would be in the row's text but not in its
    // columns: the row would never verify.
    if (p.row.contains(QStringLiteral("signed_at")) && !keepsSignatures(d, *p.table))
        return Failure{QStringLiteral("the dose database %1 is at schema version %2, which keeps "
                                      "no signatures of %3 rows: db migrate")
                           .arg(d.location, QString::number(d.version), p.table->kind)};
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
    ChainWriter chain(d);
    chain.add(*p.table, receipt, prev, p.ref, p.canonical, p.row);
    if (auto r = chain.flush(); !r)
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
    auto done = writeTransaction(
        d,
        [&]() -> Outcome<Done> {
            Outcome<Pending> p = prepare();
            if (!p)
                return Failure{p.error()};
            auto r = append(d, *p);
            if (!r)
                return Failure{r.error()};
            receipt = *r;
            return Done{};
        },
        &receipt.hash);
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
    if (auto texts = acceptTexts(batch); !texts)
        return Failure{texts.error()};
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
    auto r = addCalibrations({std::move(calibration)});
    if (!r)
        return Failure{r.error()};
    return r->front();
}

Outcome<std::vector<Receipt>> Store::addCalibrations(std::vector<Calibration> calibrations) {
    if (calibrations.empty())
        return Failure{QStringLiteral("no calibrations to add")};
    if (calibrations.size() > 1 && d_->version < 7)
        return Failure{QStringLiteral("the database's schema (version %1) cannot link "
                                      "calibrations made from the same films: migrate it first")
                           .arg(d_->version)};
    for (Calibration& c : calibrations) {
        c.createdAt = now_();
        if (auto texts = acceptTexts(c); !texts)
            return Failure{texts.error()};
    }
    std::vector<Receipt> receipts;
    QString proof;
    auto done = writeTransaction(
        *d_,
        [&]() -> Outcome<Done> {
            receipts.clear();
            for (size_t i = 0; i < calibrations.size(); ++i) {
                Calibration& c = calibrations[i];
                auto found = exists(*d_, batchTable().name, c.batchId);
                if (!found)
                    return Failure{found.error()};
                if (!*found)
                    return Failure{QStringLiteral("no batch %1").arg(c.batchId)};
                auto id = nextId(*d_, calibrationTable().name);
                if (!id)
                    return Failure{id.error()};
                c.id = *id;
                c.sameFilmsAs = i == 0 ? 0 : calibrations.front().id;
                auto r = append(*d_, Pending{&calibrationTable(), rowOf(c),
                                             QStringLiteral("calibration %1").arg(*id),
                                             c.canonical(), *id});
                if (!r)
                    return Failure{r.error()};
                receipts.push_back(*r);
                proof = r->hash;
            }
            return Done{};
        },
        &proof);
    if (!done)
        return Failure{done.error()};
    return receipts;
}

Outcome<Receipt> Store::addFit(Fit fit) {
    fit.createdAt = now_();
    // A row is written in the form of the database's version.
    if (d_->version < 3)
        fit.judgedWhenFitted = false;
    if (auto texts = acceptTexts(fit); !texts)
        return Failure{texts.error()};
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
    if (auto texts = acceptTexts(job); !texts)
        return Failure{texts.error()};
    return write(*d_, [&]() -> Outcome<Pending> {
        auto found = exists(*d_, jobTable().name, job.id);
        if (!found)
            return Failure{found.error()};
        if (*found)
            return Failure{QStringLiteral("job %1 already exists").arg(job.id)};
        if (job.routine()) {
            if (d_->version < kRoutineJobsVersion)
                return Failure{QStringLiteral("the dose database %1 is at schema version %2, "
                                              "which keeps no routine jobs: db migrate")
                                   .arg(d_->location, QString::number(d_->version))};
            auto study = mappingStudy(job.studyId);
            if (!study)
                return Failure{study.error()};
            if (auto why = routineJobRefusal(job, *study))
                return Failure{*why};
        }
        return Pending{&jobTable(), rowOf(job), QStringLiteral("job ") + job.id, job.canonical(),
                       0};
    });
}

namespace {

// A new record's id and reread count, given inside the write.
Outcome<Pending> newRecord(const Store::Private& d, Record& record,
                           const std::function<void(Record&)>& complete) {
    if (auto texts = acceptTexts(record); !texts)
        return Failure{texts.error()};
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
    auto done = writeTransaction(
        *d_,
        [&]() -> Outcome<Done> {
            const Private& d = *d_;
            QSqlQuery q(d.db());
            if (auto r = d.run(
                    q, QStringLiteral("SELECT seq, hash FROM ledger ORDER BY seq DESC LIMIT 1"));
                !r)
                return r;
            qint64 seq = 0;
            QString prev = QString::fromLatin1(kGenesisHash);
            if (q.next()) {
                seq = q.value(0).toLongLong();
                prev = q.value(1).toString();
            }
            q.finish();
            auto nextRecord = nextId(d, recordTable().name);
            if (!nextRecord)
                return Failure{nextRecord.error()};
            // First reads per job and dosimeter, counted once per job, then kept up to date.
            std::map<QString, std::map<QString, int>> firstReads;
            ChainWriter chain(d);
            for (Record& record : records) {
                record.createdAt = now_();
                if (auto texts = acceptTexts(record); !texts)
                    return texts;
                auto counted = firstReads.find(record.jobId);
                if (counted == firstReads.end()) {
                    auto found = exists(d, jobTable().name, record.jobId);
                    if (!found)
                        return Failure{found.error()};
                    if (!*found)
                        return Failure{QStringLiteral("no job %1").arg(record.jobId)};
                    counted = firstReads.emplace(record.jobId, std::map<QString, int>()).first;
                    if (auto r = d.run(q,
                                       QStringLiteral("SELECT dosimeter, COUNT(*) FROM records "
                                                      "WHERE job_id = ? AND version = 1 GROUP BY "
                                                      "dosimeter"),
                                       {record.jobId});
                        !r)
                        return r;
                    while (q.next())
                        counted->second[q.value(0).toString()] = q.value(1).toInt();
                    q.finish();
                }
                record.id = (*nextRecord)++;
                record.version = 1;
                record.reread = counted->second[record.dosimeter]++;
                if (complete)
                    complete(record);
                const QString canonical = record.canonical();
                const QString hash = sha256Hex(prev, canonical);
                ++seq;
                last = Receipt{seq, hash, record.id};
                chain.add(recordTable(), last, prev, QStringLiteral("record %1 v1").arg(record.id),
                          canonical, rowOf(record));
                prev = hash;
                if (chain.pending() >= kRowsPerFlush)
                    if (auto r = chain.flush(); !r)
                        return r;
            }
            return chain.flush();
        },
        &last.hash);
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
        // The new version's own texts; the rest is the stored version's, kept as it is.
        for (auto [text, field] :
             {std::pair(&next.reason, "reason"), std::pair(&next.operatorName, "operator")}) {
            auto accepted = acceptFreeText(QString::fromLatin1(field), *text);
            if (!accepted)
                return Failure{accepted.error()};
            *text = *accepted;
        }
        next.id = id;
        next.version = latest->version + 1;
        next.createdAt = now_();
        return Pending{
            &recordTable(), rowOf(next),
            QStringLiteral("record %1 v%2").arg(QString::number(id), QString::number(next.version)),
            next.canonical(), id};
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

// An id is looked up as typed and as written since ids are normalised: "e" and U+0301 finds
// the batch or job stored as U+00E9.
Outcome<Batch> Store::batch(const QString& id) {
    auto b = one<Batch>(*d_, batchTable(), QStringLiteral("id IN (?, ?)"),
                        {id, id.normalized(QString::NormalizationForm_C)},
                        QStringLiteral("no batch %1").arg(id), batchOf);
    if (!b)
        return b;
    auto later = amendmentsOf(*d_, kBatchSubject, b->id);
    if (!later)
        return Failure{later.error()};
    for (const Amendment& a : *later)
        *b = amended(*b, a);
    return b;
}

namespace {

// Each item with the amendments of its subject applied in order.
template <class T, class Key>
Outcome<std::vector<T>> withAmendments(const Store::Private& d, Outcome<std::vector<T>> all,
                                       const QString& subject, Key key) {
    if (!all)
        return all;
    auto later = amendmentsOf(d, subject);
    if (!later)
        return Failure{later.error()};
    for (const Amendment& a : *later)
        for (T& item : *all)
            if (key(item) == a.subjectId)
                item = amended(item, a);
    return all;
}

} // namespace

Outcome<std::vector<Batch>> Store::batches() {
    return withAmendments(*d_, all<Batch>(*d_, batchTable(), batchOf), kBatchSubject,
                          [](const Batch& b) { return b.id; });
}

Outcome<Calibration> Store::calibration(qint64 id) {
    auto c = one<Calibration>(*d_, calibrationTable(), QStringLiteral("id = ?"), {id},
                              QStringLiteral("no calibration %1").arg(id), calibrationOf);
    if (!c)
        return c;
    auto later = amendmentsOf(*d_, kCalibrationSubject, QString::number(id));
    if (!later)
        return Failure{later.error()};
    for (const Amendment& a : *later)
        *c = amended(*c, a);
    return c;
}

Outcome<std::vector<Calibration>> Store::calibrations() {
    return withAmendments(*d_, all<Calibration>(*d_, calibrationTable(), calibrationOf),
                          kCalibrationSubject,
                          [](const Calibration& c) { return QString::number(c.id); });
}

Outcome<Fit> Store::latestFit(qint64 calibrationId) {
    return judgedOnRead(
        *this,
        one<Fit>(*d_, fitTable(), QStringLiteral("calibration_id = ?"), {calibrationId},
                 QStringLiteral("calibration %1 has no fit yet: fit it first").arg(calibrationId),
                 usableFitOf));
}

Outcome<Fit> Store::fit(qint64 id) {
    return judgedOnRead(*this, one<Fit>(*d_, fitTable(), QStringLiteral("id = ?"), {id},
                                        QStringLiteral("no fit %1").arg(id), usableFitOf));
}

Outcome<Job> Store::job(const QString& id) {
    return one<Job>(*d_, jobTable(), QStringLiteral("id IN (?, ?)"),
                    {id, id.normalized(QString::NormalizationForm_C)},
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
    // Sorted here: the database would sort whole rows found through the job's index.
    std::vector<Record> found;
    auto r = d_->forEach(
        recordTable(), QStringLiteral("job_id = ?"), {jobId},
        [&](const RowValues& row) { found.push_back(recordOf(row)); }, false);
    if (!r)
        return Failure{r.error()};
    std::vector<std::tuple<qint64, int, size_t>> order;
    order.reserve(found.size());
    for (size_t i = 0; i < found.size(); ++i)
        order.emplace_back(found[i].id, found[i].version, i);
    std::sort(order.begin(), order.end());
    std::vector<Record> out;
    out.reserve(found.size());
    for (const auto& [id, version, i] : order)
        out.push_back(std::move(found[i]));
    return out;
}

Outcome<QString> Store::headHash() {
    QSqlQuery q(d_->db());
    if (auto r = d_->run(q, QStringLiteral("SELECT hash FROM ledger ORDER BY seq DESC LIMIT 1"));
        !r)
        return Failure{r.error()};
    return q.next() ? q.value(0).toString() : QString();
}

Outcome<QString> Store::changeMark() {
    QSqlQuery q(d_->db());
    if (auto r = d_->run(q, dialect().changeMarkQuery()); !r)
        return Failure{r.error()};
    return q.next() ? q.value(0).toString() : QString();
}

} // namespace qvr::dose
