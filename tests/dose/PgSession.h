#pragma once
// SQL sent to a dose database on a connection of its own, as a psql user would: what a login
// may do on the server whatever the program does.

#include "dose/store/Dialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace qvr::test {

// Runs sql through the database's own connection settings; the first value of each row goes to
// rows, the error's text (or "") to error.
inline bool execAs(const QString& url, const QString& sql, QString* error = nullptr,
                   QStringList* rows = nullptr) {
    bool ok = false;
    {
        auto dialect = dose::dialectFor(url);
        QSqlDatabase db = QSqlDatabase::addDatabase((*dialect)->driver(), QStringLiteral("raw"));
        if (auto opened = (*dialect)->open(db, url, false); !opened) {
            if (error)
                *error = opened.error();
        } else {
            QSqlQuery q(db);
            ok = q.exec(sql);
            if (error)
                *error = q.lastError().text();
            while (rows && ok && q.next())
                *rows << q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return ok;
}

inline QStringList firstColumn(const QString& url, const QString& sql) {
    QStringList rows;
    execAs(url, sql, nullptr, &rows);
    return rows;
}

} // namespace qvr::test
