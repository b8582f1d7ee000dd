#include "daq/Backend.h"

#include "daq/DeviceLock.h"
#include "daq/TracingDriver.h"
#include "daq/comedi/ComediDriver.h"
#include "daq/sim/SimCard.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvr {

void Backend::flush() {
    if (trace)
        trace->flush();
}

namespace {

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

// Opened without waiting (a FIFO would block the start for good) and checked on the open
// file itself, so nothing can be swapped in between the check and the read.
std::optional<QByteArray> readScenarioFile(const QString& path, QString* why) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    QByteArray data;
    if (::fstat(fd, &st) != 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        *why = QStringLiteral("not a regular file");
    } else if (st.st_size > sim::kMaxScenarioBytes) {
        *why = QStringLiteral("larger than %1 bytes").arg(sim::kMaxScenarioBytes);
    } else {
        // The file may grow while it is read: never more than the limit.
        data.resize(sim::kMaxScenarioBytes + 1);
        qsizetype got = 0;
        ssize_t n = 0;
        while (got < data.size() &&
               (n = ::read(fd, data.data() + got, size_t(data.size() - got))) > 0)
            got += n;
        if (n < 0)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        else if (got > sim::kMaxScenarioBytes)
            *why = QStringLiteral("larger than %1 bytes").arg(sim::kMaxScenarioBytes);
        data.truncate(got);
    }
    ::close(fd);
    if (!why->isEmpty())
        return std::nullopt;
    return data;
}

bool loadScenario(const QString& path, sim::Scenario& out, QString* error) {
    QString why;
    const std::optional<QByteArray> json = readScenarioFile(path, &why);
    if (!json)
        return fail(error,
                    QStringLiteral("QVR100_SIM_SCENARIO: cannot read %1: %2").arg(path, why));
    auto parsed = sim::parseScenario(*json, &why);
    if (!parsed)
        return fail(error, QStringLiteral("QVR100_SIM_SCENARIO: %1: %2").arg(path, why));
    out = std::move(*parsed);
    return true;
}

} // namespace

std::optional<Backend> openBackend(const Clock& clock, QString* error) {
    const QString daq = qEnvironmentVariable("QVR100_DAQ");
    bool simulated = false;
    if (daq == QLatin1String("sim"))
        simulated = true;
    else if (daq == QLatin1String("comedi"))
        simulated = false;
    else if (daq.isEmpty())
        simulated = !comediDeviceExists();
    else {
        fail(error,
             QStringLiteral("QVR100_DAQ must be \"sim\" or \"comedi\", not \"%1\"").arg(daq));
        return std::nullopt;
    }

    Backend b;
    b.simulated = simulated;
    if (simulated) {
        sim::Scenario scenario = sim::Scenario::healthy();
        const QString path = qEnvironmentVariable("QVR100_SIM_SCENARIO");
        if (!path.isEmpty() && !loadScenario(path, scenario, error))
            return std::nullopt;
        auto card = std::make_unique<sim::SimCard>(std::move(scenario), &clock);
        b.sim = card.get();
        b.driver = std::move(card);
        b.name = QStringLiteral("sim");
    } else {
        b.driver = makeComediDriver();
        b.name = QStringLiteral("comedi");
        auto lock = std::make_shared<DeviceLock>();
        b.claimBoard = [lock](std::int16_t board) {
            return lock->take(QStringLiteral("/dev/comedi%1").arg(board));
        };
    }

    const QString tracePath = qEnvironmentVariable("QVR100_SIM_TRACE");
    if (!tracePath.isEmpty()) {
        auto tracer = TracingDriver::open(std::move(b.driver), tracePath, error);
        if (!tracer)
            return std::nullopt;
        b.trace = tracer.get();
        b.driver = std::move(tracer);
    }
    return b;
}

} // namespace qvr
