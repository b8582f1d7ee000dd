#include "dose/ui/Sentence.h"

namespace qvr::dose {

QString sentence(const QString& text) {
    QString s = text.trimmed();
    if (s.isEmpty())
        return s;
    s[0] = s[0].toUpper();
    if (!s.endsWith(QLatin1Char('.')) && !s.endsWith(QLatin1Char('?')) &&
        !s.endsWith(QLatin1Char('!')))
        s += QLatin1Char('.');
    return s;
}

QString refusalSentence(const QString& action, const QString& why) {
    return sentence(QStringLiteral("%1: %2").arg(action, why.trimmed()));
}

} // namespace qvr::dose
