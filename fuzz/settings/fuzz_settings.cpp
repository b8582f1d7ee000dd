// Any stored settings text through the conversions the reader uses on it: a number comes out
// finite or not at all, and what the reader writes back reads again as the same value. The
// same bytes as the whole settings file are read as the reader reads it: a damaged file keeps
// every value that could be read from it.
//
// Input: the first byte chooses the decimals for the fixed-point text, the rest is the stored
// text (UTF-8).

#include "core/NumberText.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace qvr;

namespace {

bool near(double a, double b, double relative) {
    return std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b));
}

// The settings files live in a folder of the fuzzer's own, a new name for each input: the
// settings library caches files by name.
QTemporaryDir* folder = nullptr;
unsigned inputs = 0;

const char* const kKeys[] = {"PCIPort", "ScreenLeft", "Display", "GainSN1234"};

QString writeFile(const QString& name, const char* data, qsizetype size) {
    const QString path = folder->filePath(name + QString::number(inputs) + QStringLiteral(".conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data, size) != size)
        std::abort();
    return path;
}

void checkText(const QString& text, int decimals);

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = new QTemporaryDir();
    if (!folder->isValid())
        std::abort();
    std::atexit([] { delete folder; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const int decimals = data[0] % 8;
    const auto* rest = reinterpret_cast<const char*>(data + 1);
    const auto restSize = static_cast<qsizetype>(size - 1);
    checkText(QString::fromUtf8(rest, restSize), decimals);

    ++inputs;
    const QString asIs = writeFile(QStringLiteral("as-is"), rest, restSize);
    const QString path = writeFile(QStringLiteral("QVR100"), rest, restSize);
    {
        const QSettings read(asIs, QSettings::IniFormat);
        const IniSettings settings(path);
        for (const char* key : kKeys) {
            const QString name = QString::fromLatin1(key);
            const QString text = settings.read(name, QString());
            QVariant v = read.value(QStringLiteral("Properties/") + name);
            const QString before = v.metaType().id() == QMetaType::QStringList
                                       ? v.toStringList().join(QLatin1Char(','))
                                       : v.toString();
            if (text != before)
                std::abort(); // a value that could be read was lost in the repair
            checkText(text, decimals);
        }
    }
    for (const QString& f : {asIs, path, path + QStringLiteral(".damaged")})
        QFile::remove(f);
    return 0;
}

namespace {

void checkText(const QString& text, int decimals) {

    if (const std::optional<double> v = strictNumber(text)) {
        if (!std::isfinite(*v) || *v < 0)
            std::abort();
        const std::optional<double> again = strictNumber(numberText(*v));
        if (!again || !near(*again, *v, 1e-14))
            std::abort();
    }
    if (const std::optional<double> v = storedNumber(text)) {
        if (!std::isfinite(*v) || *v < 0)
            std::abort();
        const std::optional<double> again = storedNumber(storedNumberText(*v));
        if (!again || !near(*again, *v, 1e-14))
            std::abort();
    }

    const double lead = leadingNumber(text);
    if (std::isnan(lead))
        std::abort();
    const QString fixed = formatFixed(lead, decimals);
    if (std::isfinite(lead) && (fixed == kNotANumberText || fixed.isEmpty()))
        std::abort();
    if (formatAbsorbance(lead).isEmpty() || formatFilterResult(lead).isEmpty())
        std::abort();

    if (const std::optional<float> p = positionFromText(text)) {
        if (!std::isfinite(*p))
            std::abort();
        const std::optional<float> again = positionFromText(positionText(*p));
        if (!again || !near(*again, *p, 1e-6))
            std::abort();
    }
}

} // namespace
