#include "dose/core/TextRules.h"

#include <QStringView>

namespace qvr::dose {

namespace {

struct CodePoint {
    char32_t value;
    bool unpaired; // a lone surrogate: not Unicode at all
};

// Visits each code point of text in order; stops early when visit returns false.
template <class Visit> void eachCodePoint(const QString& text, Visit visit) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        CodePoint cp{c.unicode(), false};
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            cp.value = QChar::surrogateToUcs4(c, text[++i]);
        else if (c.isSurrogate())
            cp.unpaired = true;
        if (!visit(cp))
            return;
    }
}

qsizetype codePointCount(const QString& text) {
    qsizetype n = 0;
    eachCodePoint(text, [&](CodePoint) { return ++n, true; });
    return n;
}

// What kind of character an id may not hold, or nothing when it may.
const char* idCharacterProblem(CodePoint cp) {
    if (cp.unpaired)
        return "an unpaired surrogate, which is not Unicode";
    if (cp.value == 0xFEFF)
        return "a byte-order mark";
    if (QChar::isNonCharacter(cp.value))
        return "a noncharacter";
    switch (QChar::category(cp.value)) {
    case QChar::Other_Control:
        return "a control character";
    case QChar::Other_Format:
        return "an invisible format character";
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return "a line separator";
    case QChar::Other_PrivateUse:
        return "a private-use character";
    case QChar::Other_NotAssigned:
        return "an unassigned code point";
    default:
        return nullptr;
    }
}

// Noncharacters and the byte-order mark are refused here too: Qt's SQLite driver passes text
// through UTF-16, where SQLite reads U+FFFE and U+FFFF back as U+FFFD and takes a leading
// U+FEFF or U+FFFE for a byte-order mark.
const char* freeTextCharacterProblem(CodePoint cp) {
    if (cp.unpaired)
        return "an unpaired surrogate, which is not Unicode";
    if (cp.value == 0)
        return "a NUL character, which no database text can keep";
    if (cp.value == 0xFEFF)
        return "a byte-order mark";
    if (QChar::isNonCharacter(cp.value))
        return "a noncharacter";
    return nullptr;
}

template <class Problem>
std::optional<QString> characterRefusal(const QString& field, const QString& text,
                                        Problem problem) {
    std::optional<QString> why;
    eachCodePoint(text, [&](CodePoint cp) {
        if (const char* p = problem(cp))
            why = QStringLiteral("the %1 \"%2\" holds %3, %4")
                      .arg(field, terminalText(text), codePointName(cp.value), QLatin1String(p));
        return !why;
    });
    return why;
}

bool shownEscaped(CodePoint cp) {
    if (cp.unpaired || QChar::isNonCharacter(cp.value))
        return true;
    switch (QChar::category(cp.value)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

QString codePointName(char32_t codePoint) {
    return QStringLiteral("U+%1")
        .arg(static_cast<uint>(codePoint), 4, 16, QLatin1Char('0'))
        .toUpper();
}

std::optional<QString> idRefusal(const QString& field, const QString& text) {
    if (text.trimmed().isEmpty())
        return QStringLiteral("the %1 is empty").arg(field);
    if (auto why = characterRefusal(field, text, idCharacterProblem))
        return why;
    if (text.front().isSpace() || text.back().isSpace())
        return QStringLiteral("the %1 \"%2\" starts or ends with a blank")
            .arg(field, terminalText(text));
    if (const qsizetype n = codePointCount(text); n > kMaxIdChars)
        return QStringLiteral("the %1 is %2 characters long; an id has at most %3")
            .arg(field, QString::number(n), QString::number(kMaxIdChars));
    return std::nullopt;
}

std::optional<QString> freeTextRefusal(const QString& field, const QString& text) {
    if (auto why = characterRefusal(field, text, freeTextCharacterProblem))
        return why;
    if (const qsizetype n = codePointCount(text); n > kMaxFreeTextChars)
        return QStringLiteral("the %1 is %2 characters long; at most %3 are kept")
            .arg(field, QString::number(n), QString::number(kMaxFreeTextChars));
    return std::nullopt;
}

Outcome<QString> acceptId(const QString& field, const QString& text) {
    const QString nfc = text.normalized(QString::NormalizationForm_C);
    if (auto why = idRefusal(field, nfc))
        return Failure{*why};
    return nfc;
}

Outcome<QString> acceptOptionalId(const QString& field, const QString& text) {
    if (text.isEmpty())
        return text;
    return acceptId(field, text);
}

Outcome<QString> acceptFreeText(const QString& field, const QString& text) {
    const QString nfc = text.normalized(QString::NormalizationForm_C);
    if (auto why = freeTextRefusal(field, nfc))
        return Failure{*why};
    return nfc;
}

QString terminalText(const QString& text) {
    bool plain = true;
    eachCodePoint(text, [&](CodePoint cp) { return plain = !shownEscaped(cp); });
    if (plain)
        return text;
    QString out;
    out.reserve(text.size() + 16);
    eachCodePoint(text, [&](CodePoint cp) {
        if (shownEscaped(cp))
            out += QLatin1Char('<') + codePointName(cp.value) + QLatin1Char('>');
        else
            out += QString::fromUcs4(&cp.value, 1);
        return true;
    });
    return out;
}

QByteArray terminalJson(const QByteArray& json) {
    // JSON's own structure is ASCII and its writer escapes C0 already: only characters inside
    // strings can need it, and an escape there is the same value.
    const bool ascii = std::all_of(json.begin(), json.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x7F; });
    if (ascii)
        return json;
    const QString text = QString::fromUtf8(json);
    QString out;
    out.reserve(text.size() + 16);
    eachCodePoint(text, [&](CodePoint cp) {
        if (!shownEscaped(cp)) {
            out += QString::fromUcs4(&cp.value, 1);
            return true;
        }
        char16_t units[2];
        const int n = QChar::requiresSurrogates(cp.value) ? 2 : 1;
        if (n == 2) {
            units[0] = QChar::highSurrogate(cp.value);
            units[1] = QChar::lowSurrogate(cp.value);
        } else {
            units[0] = static_cast<char16_t>(cp.value);
        }
        for (int i = 0; i < n; ++i)
            out +=
                QStringLiteral("\\u%1").arg(static_cast<uint>(units[i]), 4, 16, QLatin1Char('0'));
        return true;
    });
    return out.toUtf8();
}

} // namespace qvr::dose
