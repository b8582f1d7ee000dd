// Applying many simulator events that fall due at once, as a scenario with a dense event list
// does at start-up. Each event is applied to the conditions in constant time, so the cost
// grows linearly with the number of events (it once grew with its square: 50,000 events took
// half a minute).

#include "ManualClock.h"
#include "daq/sim/SimCard.h"

#include <QJsonObject>
#include <benchmark/benchmark.h>

namespace {

void BM_eventsDueAtOnce(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    qvr::sim::Scenario s = qvr::sim::Scenario::quiet();
    for (int i = 0; i < count; ++i)
        s.events.push_back(qvr::sim::Event{1000, QJsonObject{{"seed", i + 1}}});
    for (auto _ : state) {
        state.PauseTiming();
        qvr::test::ManualClock clock;
        qvr::sim::SimCard card(s, &clock);
        clock.advance(1000);
        state.ResumeTiming();
        card.applyDueEvents();
    }
    state.SetComplexityN(count);
}
BENCHMARK(BM_eventsDueAtOnce)->RangeMultiplier(4)->Range(1000, 64000)->Complexity();

} // namespace
