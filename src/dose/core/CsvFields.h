#pragma once
// The lines and fields of a CSV file as the imports read them: UTF-8 (a leading byte-order mark
// dropped), blank lines and lines starting with '#' skipped, comma-separated fields that may be
// double-quoted ("" is a quote inside one), each trimmed.

#include "dose/core/Outcome.h"

#include <QByteArray>
#include <QStringList>
#include <optional>
#include <vector>

namespace qvr::dose {

struct CsvLine {
    int number = 0; // from 1
    QStringList fields;
};

// Every line with content, or the first that is not UTF-8 or leaves a quote open, named.
Outcome<std::vector<CsvLine>> csvLines(const QByteArray& data);

// One line's fields; nothing when a quoted field is not closed.
std::optional<QStringList> splitCsvFields(const QString& line);

} // namespace qvr::dose
