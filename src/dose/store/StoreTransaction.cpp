// The one writer's transaction: begun under the dialect's lock, committed only whole, and a
// COMMIT whose connection went resolved from the ledger.

#include "dose/store/StoreInternals.h"

namespace qvr::dose {

namespace {

// Starts the one writer's transaction, waiting out other writers for a while.
Outcome<Done> beginWrite(const Store::Private& d) {
    QSqlDatabase db = d.db();
    for (int attempt = 0;; ++attempt) {
        bool begun = true;
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
        if (begun)
            return Done{};
    }
}

// The connection went while COMMIT was under way: the server may have committed or not. Once
// connected again, the writer's lock is free only when that transaction has ended either way;
// then the ledger says which, by the hash of the last row the write appended.
Outcome<Done> resolveLostCommit(const Store::Private& d, const QString& proof, const QString& why) {
    const QString unknown = QStringLiteral("the connection to the database was lost during "
                                           "COMMIT (%1): the outcome is unknown: run verify")
                                .arg(why.simplified());
    if (proof.isEmpty())
        return Failure{unknown};
    QSqlDatabase db = d.db();
    db.close();
    if (!d.dialect->open(db, d.location, false) || !beginWrite(d))
        return Failure{unknown};
    QSqlQuery q(db);
    const bool looked =
        static_cast<bool>(d.run(q, QStringLiteral("SELECT 1 FROM ledger WHERE hash = ?"), {proof}));
    const bool committed = looked && q.next();
    q.finish();
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    if (!looked)
        return Failure{unknown};
    if (!committed)
        return Failure{QStringLiteral("the connection to the database was lost during COMMIT "
                                      "(%1) and the write is not in the database: it was not "
                                      "committed")
                           .arg(why.simplified())};
    return Done{};
}

} // namespace

Outcome<Done> writeTransaction(const Store::Private& d, const std::function<Outcome<Done>()>& body,
                               const QString* proof) {
    if (auto begun = beginWrite(d); !begun)
        return begun;
    QSqlDatabase db = d.db();
    Outcome<Done> result = body();
    QSqlQuery end(db);
    if (!result) {
        end.exec(QStringLiteral("ROLLBACK"));
        return result;
    }
    if (!end.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = end.lastError();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        if (d.dialect->isConnectionLost(error))
            return resolveLostCommit(d, proof ? *proof : QString(), error.text());
        return Failure{QStringLiteral("the write was not committed: %1").arg(error.text())};
    }
    return Done{};
}

} // namespace qvr::dose
