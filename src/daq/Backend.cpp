#include "daq/Backend.h"

#include "core/RegularFile.h"
#include "daq/DeviceLock.h"
#include "daq/TracingDriver.h"
#include "daq/comedi/ComediDriver.h"
#include "daq/sim/SimCard.h"

#include <QFile>

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

bool loadScenario(const QString& path, sim::Scenario& out, QString* error) {
    QString why;
    const std::optional<QByteArray> json = readRegularFile(path, sim::kMaxScenarioBytes, &why);
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

std::optional<Backend> openBackend(const Clock& clock, QString* error, bool simulate) {
    const QString daq = qEnvironmentVariable("QVR100_DAQ");
    bool simulated = simulate;
    if (daq == QLatin1String("sim"))
        simulated = true;
    else if (daq == QLatin1String("comedi")) {
        if (simulate) {
            fail(error, QStringLiteral("--simulate and QVR100_DAQ=comedi ask for different "
                                       "cards; give one of them"));
            return std::nullopt;
        }
    } else if (!daq.isEmpty()) {
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
