#include "dose/store/DatabaseLocation.h"

#include "dose/core/TextRules.h"
#include "dose/store/PostgresUrl.h"

#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace qvr::dose {

namespace {

// Edits (insert, delete, replace, swap two neighbours) between a and b.
int distance(const QString& a, const QString& b) {
    const qsizetype n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (qsizetype i = 0; i <= n; ++i)
        d[i][0] = static_cast<int>(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= n; ++i)
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}

QString mistypedUrl(const QString& location) {
    return QStringLiteral("\"%1\" looks like a mistyped database URL: give a PostgreSQL database "
                          "as postgresql://user@host/dbname, and a SQLite file by its path (as "
                          "./%1 if that is what it is)")
        .arg(terminalText(location));
}

} // namespace

std::optional<QString> locationRefusal(const QString& location) {
    if (location.isEmpty())
        return QStringLiteral("no database given");
    if (location.trimmed() != location || terminalText(location) != location)
        return QStringLiteral("the database location \"%1\" starts or ends with a blank or holds "
                              "a control character")
            .arg(terminalText(location));
    if (PostgresUrl::looksLikeUrl(location))
        return std::nullopt;
    // A scheme ("postgresq:", "sqlite:"), or a word with "//" after it ("postgresql//",
    // "postgres;//").
    static const QRegularExpression urlLike(
        QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*(:|[^A-Za-z0-9+./\\s]?//)"));
    if (urlLike.match(location).hasMatch())
        return mistypedUrl(location);
    // A known scheme misspelt with nothing after it that a file name would have.
    static const QRegularExpression firstWord(QStringLiteral("^([A-Za-z]+)([^A-Za-z0-9./_-]|$)"));
    if (const auto m = firstWord.match(location); m.hasMatch()) {
        const QString word = m.captured(1).toLower();
        for (const char* scheme : {"postgresql", "postgres"})
            if (distance(word, QLatin1String(scheme)) <= 2)
                return mistypedUrl(location);
    }
    return std::nullopt;
}

} // namespace qvr::dose
