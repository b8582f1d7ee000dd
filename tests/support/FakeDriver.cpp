#include "FakeDriver.h"

#include "measure/Acquisition.h"

#include <cmath>
#include <cstring>

namespace qvr::test {

int FakeDriver::cbAIn(int board, int chan, int, std::int16_t& value) {
    if (status == 0) {
        if (countSource) {
            value = countSource();
        } else if (!counts.empty()) {
            value = counts.front();
            counts.pop_front();
        } else {
            value = count;
        }
    }
    if (logAnalog)
        calls.append({QStringLiteral("cbAIn"), board, chan, value});
    return status;
}

int FakeDriver::cbDIn(int board, int port, std::int16_t& value) {
    if (status == 0)
        value = inputs;
    if (logAnalog)
        calls.append({QStringLiteral("cbDIn"), board, port, value});
    return status;
}

int FakeDriver::cbDOut(int board, int port, std::uint16_t value) {
    calls.append({QStringLiteral("cbDOut"), board, port, value});
    return status;
}

int FakeDriver::cbGetConfig(int, int board, int, int, std::int32_t& value) {
    calls.append({QStringLiteral("cbGetConfig"), board, 0, 0});
    auto it = boards.find(board);
    if (it != boards.end())
        value = it->second.first;
    return it != boards.end() ? 0 : 1;
}

int FakeDriver::cbGetBoardName(int board, char* name) {
    calls.append({QStringLiteral("cbGetBoardName"), board, 0, 0});
    auto it = boards.find(board);
    if (it == boards.end())
        return 1;
    const QByteArray n = it->second.second.toLatin1().left(kBoardNameSize - 1);
    std::memcpy(name, n.constData(), static_cast<size_t>(n.size()));
    name[n.size()] = '\0';
    return 0;
}

void FakeDriver::queueVolts(double volts) {
    const qint64 sum = std::llround((volts + 5.0) * kSamplesPerReading * kCountsPerVolt);
    const qint64 base = sum / kSamplesPerReading;
    const qint64 extra = sum % kSamplesPerReading;
    for (int i = 0; i < kSamplesPerReading; ++i)
        counts.push_back(static_cast<std::int16_t>(base + (i < extra ? 1 : 0)));
}

QList<int> FakeDriver::doutValues() const {
    QList<int> out;
    for (const Call& c : calls)
        if (c.kind == QLatin1String("cbDOut"))
            out.append(c.value);
    return out;
}

int FakeDriver::countOf(const QString& kind) const {
    int n = 0;
    for (const Call& c : calls)
        n += c.kind == kind;
    return n;
}

} // namespace qvr::test
