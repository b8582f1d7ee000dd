#include "dose/store/StoreInternals.h"

#include <map>

namespace qvr::dose {

namespace {

struct LedgerRow {
    QString kind, ref, canonical;
    bool claimed = false; // a domain row refers to it
};

// What earlier versions, which let any text in, stored or read back of a value beginning with
// U+FEFF or U+FFFE: Qt's drivers pass text through UTF-16, where SQLite takes a leading U+FEFF
// for a byte-order mark and drops it, and a leading U+FFFE for a reversed one (dropping it and
// swapping the bytes of every character after it); reading PostgreSQL drops a leading U+FEFF.
QStringList boundForms(const QString& value) {
    if (value.startsWith(QChar(0xFEFF)))
        return {value.mid(1)};
    if (value.startsWith(QChar(0xFFFE))) {
        QString swapped = value.mid(1);
        for (QChar& c : swapped)
            c = QChar(static_cast<char16_t>((c.unicode() >> 8) | (c.unicode() << 8)));
        return {swapped, value};
    }
    return {};
}

// The string values of a canonical text's own keys, decoded, in order. By hand: Qt's JSON
// reader drops a U+FEFF that begins a string.
QStringList topLevelTexts(const QString& canonical) {
    QStringList texts;
    int depth = 0;
    QChar before;
    for (qsizetype i = 0; i < canonical.size(); ++i) {
        const QChar c = canonical[i];
        if (c == QLatin1Char('{') || c == QLatin1Char('['))
            ++depth;
        else if (c == QLatin1Char('}') || c == QLatin1Char(']'))
            --depth;
        if (c != QLatin1Char('"')) {
            before = c;
            continue;
        }
        QString text;
        for (++i; i < canonical.size() && canonical[i] != QLatin1Char('"'); ++i) {
            if (canonical[i] != QLatin1Char('\\') || i + 1 >= canonical.size()) {
                text += canonical[i];
                continue;
            }
            const QChar e = canonical[++i];
            if (e == QLatin1Char('n'))
                text += QLatin1Char('\n');
            else if (e == QLatin1Char('r'))
                text += QLatin1Char('\r');
            else if (e == QLatin1Char('t'))
                text += QLatin1Char('\t');
            else if (e == QLatin1Char('u') && i + 4 < canonical.size())
                text += QChar(static_cast<char16_t>(canonical.mid(i + 1, 4).toUShort(nullptr, 16))),
                    i += 4;
            else
                text += e;
        }
        if (depth == 1 && before == QLatin1Char(':'))
            texts << text;
        before = QLatin1Char('"');
    }
    return texts;
}

// Whether row renders to canonical once each text column that holds a bound form of one of
// the canonical text's values is given that value back: such a row was stored as it was
// written, by a program that did not refuse those characters yet. Nothing is rewritten.
bool matchesAsBound(const Table& table, RowValues row, const QString& canonical) {
    bool changed = false;
    for (const QString& value : topLevelTexts(canonical)) {
        const QStringList forms = boundForms(value);
        for (int i = 1; i < row.size() && !forms.isEmpty(); ++i)
            if (table.columns[i - 1].type == ColumnType::Text && !row[i].isNull() &&
                forms.contains(row[i].toString())) {
                row[i] = value;
                changed = true;
            }
    }
    return changed && canonicalOf(table, row) == canonical;
}

} // namespace

// Walks the ledger from the first row, recomputing every hash, then checks that every domain
// row renders to its ledger row's text and that every ledger row has its domain row. The
// problem reported is the one at the lowest ledger seq.
ChainReport Store::verify(const QString& expectedHash) {
    // Hashes are written in lower case; one copied from a report may not be.
    const QString expectHash = expectedHash.toLower();
    ChainReport report;
    std::map<qint64, QString> problems; // ledger seq -> what is wrong there
    auto note = [&](qint64 seq, const QString& text) { problems.emplace(seq, text); };

    QSqlQuery q(d_->db());
    if (auto r = d_->run(q, QStringLiteral("SELECT seq, kind, %1, %2, prev_hash, hash FROM ledger "
                                           "ORDER BY seq")
                                .arg(d_->dialect->exactText(QStringLiteral("ref")),
                                     d_->dialect->exactText(QStringLiteral("canonical"))));
        !r) {
        report.problem = r.error();
        return report;
    }
    std::map<qint64, LedgerRow> ledger;
    QString prev = QString::fromLatin1(kGenesisHash);
    qint64 expected = 1;
    bool expectFound = expectHash.isEmpty();
    while (q.next()) {
        const qint64 seq = q.value(0).toLongLong();
        LedgerRow row{q.value(1).toString(), Dialect::textOf(q.value(2)).toString(),
                      Dialect::textOf(q.value(3)).toString()};
        const QString storedPrev = q.value(4).toString(), hash = q.value(5).toString();
        if (seq != expected)
            note(expected, QStringLiteral("ledger row %1 is missing (the next row is %2)")
                               .arg(QString::number(expected), QString::number(seq)));
        else if (storedPrev != prev)
            note(seq, QStringLiteral("ledger row %1 (%2) does not follow the row before it")
                          .arg(QString::number(seq), row.ref));
        else if (sha256Hex(storedPrev, row.canonical) != hash)
            note(seq, QStringLiteral("ledger row %1 (%2) was changed: its hash does not match "
                                     "its content")
                          .arg(QString::number(seq), row.ref));
        if (hash == expectHash)
            expectFound = true;
        prev = hash;
        expected = seq + 1;
        ++report.rows;
        ledger.emplace(seq, row);
    }
    report.headHash = report.rows ? prev : QString();

    for (const Table* table : allTables()) {
        if (!d_->has(*table))
            continue;
        auto rows = d_->select(*table);
        if (!rows) {
            report.problem = rows.error();
            return report;
        }
        for (const RowValues& row : *rows) {
            const qint64 seq = row.value(0).toLongLong();
            const QString ref = refOf(*table, row);
            auto it = ledger.find(seq);
            if (it == ledger.end() || it->second.kind != table->kind || it->second.claimed) {
                note(seq, QStringLiteral("%1 refers to ledger row %2, which is not its entry")
                              .arg(ref, QString::number(seq)));
                continue;
            }
            it->second.claimed = true;
            if (canonicalOf(*table, row) != it->second.canonical &&
                !matchesAsBound(*table, row, it->second.canonical))
                note(seq, QStringLiteral("%1 (ledger row %2) was changed: its columns differ "
                                         "from its recorded content")
                              .arg(ref, QString::number(seq)));
        }
    }
    for (const auto& [seq, row] : ledger)
        if (!row.claimed)
            note(seq, QStringLiteral("%1 (ledger row %2) was removed from its table")
                          .arg(row.ref, QString::number(seq)));

    if (!problems.empty()) {
        report.brokenSeq = problems.begin()->first;
        report.problem = problems.begin()->second;
        if (problems.size() > 1)
            report.problem += QStringLiteral(" (and %1 more problems)").arg(problems.size() - 1);
        return report;
    }
    if (!expectFound) {
        report.problem =
            QStringLiteral("the chain does not contain %1: rows written up to it "
                           "were removed or changed (the chain ends at row %2, %3)")
                .arg(expectHash, QString::number(report.rows),
                     report.headHash.isEmpty() ? QStringLiteral("empty") : report.headHash);
        return report;
    }
    report.whole = true;
    return report;
}

} // namespace qvr::dose
