// Any stored settings text through the conversions the reader uses on it: a number comes out
// finite or not at all, and what the reader writes back reads again as the same value. The
// same bytes as the whole settings file are read as the reader reads it.
//
// Input: the first byte chooses the decimals for the fixed-point text, the rest is the stored
// text (UTF-8).

#include "core/NumberText.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace qvr;

namespace {

bool near(double a, double b, double relative) {
    return std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b));
}

// The settings file lives in a configuration folder of the fuzzer's own.
QTemporaryDir* configHome = nullptr;

void checkText(const QString& text, int decimals);

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    configHome = new QTemporaryDir();
    if (!configHome->isValid() || !QDir(configHome->path()).mkdir(QStringLiteral("QVR100")))
        std::abort();
    qputenv("XDG_CONFIG_HOME", configHome->path().toLocal8Bit());
    std::atexit([] { delete configHome; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const int decimals = data[0] % 8;
    const auto* rest = reinterpret_cast<const char*>(data + 1);
    const auto restSize = static_cast<qsizetype>(size - 1);
    checkText(QString::fromUtf8(rest, restSize), decimals);

    QFile file(configHome->path() + QStringLiteral("/QVR100/QVR100.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(rest, restSize) != restSize)
        std::abort();
    file.close();
    const IniSettings settings;
    for (const char* key : {"PCIPort", "ScreenLeft", "Display", "GainSN1234"})
        checkText(settings.read(QString::fromLatin1(key), QString()), decimals);
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
