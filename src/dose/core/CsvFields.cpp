#include "dose/core/CsvFields.h"

#include <QStringDecoder>

namespace qvr::dose {

std::optional<QStringList> splitCsvFields(const QString& line) {
    QStringList fields;
    QString field;
    bool inQuotes = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (inQuotes) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
        } else if (c == QLatin1Char(',')) {
            fields << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    if (inQuotes)
        return std::nullopt;
    fields << field.trimmed();
    return fields;
}

Outcome<std::vector<CsvLine>> csvLines(const QByteArray& data) {
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF")) // a byte-order mark some editors write first
        bytes.remove(0, 3);
    const QList<QByteArray> lines = bytes.split('\n');
    std::vector<CsvLine> out;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        QString line = utf8(lines[i]);
        if (utf8.hasError())
            return Failure{QStringLiteral("line %1: not UTF-8 text").arg(QString::number(lineNo))};
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        const auto fields = splitCsvFields(line);
        if (!fields)
            return Failure{QStringLiteral("line %1: a quoted field is not closed")
                               .arg(QString::number(lineNo))};
        out.push_back({lineNo, *fields});
    }
    return out;
}

} // namespace qvr::dose
