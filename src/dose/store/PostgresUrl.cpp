#include "dose/store/PostgresUrl.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QUrl>
#include <QUrlQuery>

namespace qvr::dose {

namespace {

// QPSQL pastes its connect options into a libpq conninfo after turning ';' into spaces: quote
// every value so a space or quote in it stays inside it.
QString quoted(QString value) {
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

PostgresUrl refused(const QString& why) {
    PostgresUrl u;
    u.error = why;
    return u;
}

QString passwordRefusal() {
    return QStringLiteral("the database URL holds a password, which would stay in the shell's "
                          "history: leave it out and put it in ~/.pgpass (or the file PGPASSFILE "
                          "names)");
}

// A lost server should fail a command in seconds, not hang it.
constexpr int defaultConnectTimeoutS = 10;

} // namespace

bool PostgresUrl::looksLikeUrl(const QString& location) {
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

PostgresUrl PostgresUrl::parse(const QString& location) {
    if (!looksLikeUrl(location))
        return refused(QStringLiteral("not a PostgreSQL URL (postgresql://...): %1").arg(location));
    // libpq accepts a socket folder percent-encoded in the host part; QUrl takes no '/' there.
    QString text = location;
    QString encodedSocket;
    static const QRegularExpression socketHost(
        QStringLiteral("^(postgres(?:ql)?://(?:[^@/?]*@)?)(%2F[^:/?]*)"),
        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = socketHost.match(text); m.hasMatch()) {
        encodedSocket = QUrl::fromPercentEncoding(m.captured(2).toUtf8());
        text = m.captured(1) + text.mid(m.capturedEnd(2));
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return refused(QStringLiteral("not a valid PostgreSQL URL: %1").arg(url.errorString()));
    if (!url.password(QUrl::FullyDecoded).isEmpty())
        return refused(passwordRefusal());
    if (url.hasFragment())
        return refused(QStringLiteral("a PostgreSQL URL has no #fragment"));

    PostgresUrl out;
    out.host = encodedSocket.isEmpty() ? url.host(QUrl::FullyDecoded) : encodedSocket;
    out.port = url.port(-1);
    out.user = url.userName(QUrl::FullyDecoded);
    out.database = url.path(QUrl::FullyDecoded);
    if (out.database.startsWith(QLatin1Char('/')))
        out.database.remove(0, 1);
    if (out.database.contains(QLatin1Char('/')))
        return refused(
            QStringLiteral("the database name in the URL cannot hold '/': %1").arg(out.database));

    QStringList options;
    bool timeoutGiven = false;
    static const QRegularExpression keyword(QStringLiteral("^[a-z_]+$"));
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto& item : items) {
        const QString& key = item.first;
        const QString& value = item.second;
        auto once = [&](QString& field, const QString& what) {
            if (!field.isEmpty())
                return QStringLiteral("the URL gives the %1 twice").arg(what);
            field = value;
            return QString();
        };
        QString why;
        if (key == QLatin1String("password"))
            why = passwordRefusal();
        else if (key == QLatin1String("host"))
            why = once(out.host, QStringLiteral("host"));
        else if (key == QLatin1String("user"))
            why = once(out.user, QStringLiteral("user"));
        else if (key == QLatin1String("dbname"))
            why = once(out.database, QStringLiteral("database"));
        else if (key == QLatin1String("port")) {
            bool ok = false;
            const int p = value.toInt(&ok);
            if (out.port != -1)
                why = QStringLiteral("the URL gives the port twice");
            else if (!ok || p < 1 || p > 65535)
                why = QStringLiteral("not a port number: %1").arg(value);
            else
                out.port = p;
        } else if (!keyword.match(key).hasMatch())
            why = QStringLiteral("not a connection option: %1").arg(key);
        else if (value.contains(QLatin1Char(';')))
            // QPSQL splits its options at ';', so such a value cannot reach libpq whole.
            why = QStringLiteral("the option %1 cannot hold ';'").arg(key);
        else {
            timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
            options << key + QLatin1Char('=') + quoted(value);
        }
        if (!why.isEmpty())
            return refused(why);
    }
    if (!timeoutGiven)
        options << QStringLiteral("connect_timeout=%1").arg(defaultConnectTimeoutS);
    out.options = options.join(QLatin1Char(';'));
    return out;
}

QString PostgresUrl::display() const {
    QString where = host.isEmpty() ? QStringLiteral("the default server") : host;
    if (port != -1)
        where += QLatin1Char(':') + QString::number(port);
    return QStringLiteral("%1 on %2")
        .arg(database.isEmpty() ? QStringLiteral("(default)") : database, where);
}

void applyPostgresUrl(const PostgresUrl& url, QSqlDatabase& db) {
    db.setHostName(url.host);
    db.setPort(url.port);
    db.setUserName(url.user);
    db.setDatabaseName(url.database);
    db.setConnectOptions(url.options);
}

} // namespace qvr::dose
