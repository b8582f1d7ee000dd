#pragma once
// What text a record takes. An id (batch, job, dosimeter, certificate, head serial, and any id
// added later) is printable text of at most 64 characters: no control or format characters,
// noncharacters, byte-order marks, line separators, private-use or unassigned code points, and
// no blanks at either end. Free text (reason, comment, product, description) is any Unicode of
// at most 2,000 characters but NUL, which no PostgreSQL text can hold, and the noncharacters
// and byte-order mark, which SQLite does not keep as they are. Both are normalised to
// NFC here, once, at input; stored texts are never normalised again, so a row reads back and
// hashes as it was written.

#include "dose/core/Outcome.h"

#include <QString>

namespace qvr::dose {

inline constexpr int kMaxIdChars = 64;
inline constexpr int kMaxFreeTextChars = 2000;

// The id in NFC, or why it is refused, naming field ("dosimeter id") and the character (U+XXXX).
Outcome<QString> acceptId(const QString& field, const QString& text);
// The same for an id that may be left out: empty stays empty.
Outcome<QString> acceptOptionalId(const QString& field, const QString& text);
// Free text in NFC, or why it is refused.
Outcome<QString> acceptFreeText(const QString& field, const QString& text);

// Why a stored text of either kind would not come back from a database as it is, or nothing:
// the rules above without normalising (the check a store makes on every text it writes).
std::optional<QString> idRefusal(const QString& field, const QString& text);
std::optional<QString> freeTextRefusal(const QString& field, const QString& text);

// "U+001B"
QString codePointName(char32_t codePoint);

// The text with every control, format, separator, noncharacter and unpaired surrogate written
// as <U+XXXX>, so that it shows as it is on a terminal and cannot move the cursor, ring or
// rewrite the line.
QString terminalText(const QString& text);
// A JSON text with the same characters written as \uXXXX escapes: the same JSON value, safe on
// a terminal (QJsonDocument leaves DEL and C1 controls raw).
QByteArray terminalJson(const QByteArray& json);

} // namespace qvr::dose
