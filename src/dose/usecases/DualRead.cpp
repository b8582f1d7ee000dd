#include "dose/usecases/DualRead.h"

#include "dose/core/DualRecord.h"
#include "dose/core/Quantity.h"
#include "dose/core/ReadingPeriod.h"

namespace qvr::dose {

namespace {

// Writes of A awaited for the reader to read again after a wavelength command: it zeroes or
// takes back a stored zero first, a reading or two.
constexpr int kSettlingWrites = 8;

QString item(const ReaderItems& items, const char* name) {
    return items.value(QLatin1String(name)).toString();
}

QString nmText(int nm) {
    return QStringLiteral("%1 nm").arg(nm);
}

struct Segment {
    std::vector<Reading> readings;
    ReaderItems last;
};

// count readings within period, each passing the reading rules for context.
Outcome<Segment> readSegment(ReaderSource& reader, const ReadingPeriod& period,
                             const ReadingContext& context, int count, int timeoutMs,
                             const Now& now) {
    Segment s;
    const QString at = nmText(context.wavelengthNm);
    for (int i = 0; i < count; ++i) {
        auto items = reader.nextReading(timeoutMs);
        if (!items)
            return Failure{items.error()};
        const QString which = QStringLiteral("reading %1 of %2 at %3")
                                  .arg(QString::number(i + 1), QString::number(count), at);
        if (auto broken = period.broken(*items))
            return Failure{QStringLiteral("%1 before %2").arg(*broken, which)};
        if (auto why = refusal(*items, context))
            return Failure{QStringLiteral("%1: %2").arg(which, *why)};
        auto a = servedAbsorbance(item(*items, "A"));
        if (!a)
            return Failure{QStringLiteral("%1: %2").arg(which, a.error())};
        s.readings.push_back({now(), *a});
        s.last = *items;
    }
    return s;
}

// Waits until the reader reads at wavelength (its served text) again. start: the items the
// read began with; with filmIn, anything but the wavelength that ends their period fails.
Outcome<ReaderItems> awaitWavelength(ReaderSource& reader, const ReaderItems& start,
                                     const QString& wavelength, bool filmIn, int timeoutMs) {
    ReadingPeriod same;
    same.begin(start);
    for (int i = 0; i < kSettlingWrites; ++i) {
        auto items = reader.nextReading(timeoutMs);
        if (!items)
            return Failure{items.error()};
        // Reading again or not yet, at this wavelength or that: the rest must hold.
        ReaderItems probe = *items;
        probe.insert(QStringLiteral("WL"), start.value(QStringLiteral("WL")));
        probe.insert(QStringLiteral("State"), QStringLiteral("reading"));
        if (!filmIn) {
            // Once read, the film may come out and the reader zero: only a restart matters.
            probe.insert(QStringLiteral("lblPresent"), QStringLiteral("Film"));
            probe.insert(QStringLiteral("Zeros"), start.value(QStringLiteral("Zeros")));
        }
        if (auto broken = same.broken(probe))
            return Failure{*broken};
        if (item(*items, "State") == u"reading" && item(*items, "WL") == wavelength)
            return *items;
    }
    return Failure{QStringLiteral("the reader did not read at %1 again within %2 readings")
                       .arg(wavelength)
                       .arg(kSettlingWrites)};
}

} // namespace

Outcome<DualPlan> orderPair(const Usable& one, const Usable& other, const ReaderItems& items) {
    const QString wl = item(items, "WL");
    const auto current = servedWavelength(wl);
    DualPlan p{one, other, false, {}};
    if (current && *current == other.calibration.wavelengthNm)
        std::swap(p.first, p.second);
    else if (!current || *current != one.calibration.wavelengthNm)
        return Failure{
            QStringLiteral("the reader is at \"%1\"; calibrations %2 and %3 are for "
                           "%4 and %5")
                .arg(wl, QString::number(one.calibration.id), QString::number(other.calibration.id),
                     nmText(one.calibration.wavelengthNm), nmText(other.calibration.wavelengthNm))};
    p.atSecondary = item(items, "lblA2") == wl;
    p.otherText = item(items, p.atSecondary ? "lblA1" : "lblA2");
    if (servedWavelength(p.otherText) != p.second.calibration.wavelengthNm)
        return Failure{QStringLiteral("the head's other wavelength is \"%1\"; calibration %2 is "
                                      "for %3")
                           .arg(p.otherText, QString::number(p.second.calibration.id),
                                nmText(p.second.calibration.wavelengthNm))};
    return p;
}

namespace {

// Asks the reader back to the wavelength the read began at; what went wrong, or nothing.
std::optional<QString> switchBack(ReaderSource& reader, const DualPlan& pair,
                                  const ReaderItems& start, int timeoutMs) {
    if (auto back = reader.selectWavelength(pair.atSecondary); !back)
        return QStringLiteral("switching back to %1 failed: %2")
            .arg(item(start, "WL"), back.error());
    // The next film is read at it: wait until the reader reads there again.
    if (auto again = awaitWavelength(reader, start, item(start, "WL"), false, timeoutMs); !again)
        return QStringLiteral("after switching back to %1: %2")
            .arg(item(start, "WL"), again.error());
    return std::nullopt;
}

Failure failedRead(const QString& why, const std::optional<QString>& back) {
    QString text =
        QStringLiteral("%1: the readings are discarded and nothing is recorded; read the film "
                       "again")
            .arg(why);
    if (back)
        text += QStringLiteral(". Also, %1").arg(*back);
    return Failure{text};
}

} // namespace

Outcome<Usable> sameFilmsCalibration(Store& store, const Calibration& calibration,
                                     const QDate& today) {
    qint64 partner = calibration.sameFilmsAs;
    if (partner == 0) {
        auto all = store.calibrations();
        if (!all)
            return Failure{all.error()};
        for (const Calibration& c : *all)
            if (c.sameFilmsAs == calibration.id)
                partner = c.id;
    }
    if (partner == 0)
        return Failure{QStringLiteral("calibration %1 (%2) was imported alone: no calibration of "
                                      "the same films at the other wavelength gives the second "
                                      "dose; import both wavelengths' absorbances in one CSV")
                           .arg(QString::number(calibration.id), nmText(calibration.wavelengthNm))};
    auto use = usableCalibration(store, partner, today);
    if (!use)
        return Failure{QStringLiteral("the second wavelength's calibration: %1").arg(use.error())};
    return use;
}

Outcome<DualPlan> planBothWavelengths(Store& store, const Job& job, const Usable& chosen,
                                      const Usable& partner, const ReaderItems& items,
                                      const QDateTime& now) {
    auto pair = orderPair(chosen, partner, items);
    if (!pair)
        return Failure{pair.error()};
    if (auto why = refusal(items, pair->firstContext(job)))
        return Failure{*why};
    for (const Usable* use : {&pair->first, &pair->second}) {
        if (auto why = readerCheckRefusal(store, job, use->calibration, now))
            return Failure{*why};
        if (auto why = traceabilityRefusal(job, use->calibration))
            return Failure{*why};
    }
    return pair;
}

Outcome<OtherRead> readAtOtherWavelength(ReaderSource& reader, const DualPlan& plan, const Job& job,
                                         const ReaderItems& start, int readings, int timeoutMs,
                                         const Now& now) {
    if (auto switched = reader.selectWavelength(!plan.atSecondary); !switched)
        return failedRead(switched.error(), std::nullopt);
    // From here on every way out switches back.
    auto settled = awaitWavelength(reader, start, plan.otherText, true, timeoutMs);
    if (!settled)
        return failedRead(settled.error(), switchBack(reader, plan, start, timeoutMs));
    // The first reading there is smoothed against the last one at the other wavelength: not
    // used.
    ReadingPeriod there;
    there.begin(*settled);
    auto two = readSegment(reader, there, plan.secondContext(job), readings, timeoutMs, now);
    const auto back = switchBack(reader, plan, start, timeoutMs);
    if (!two)
        return failedRead(two.error(), back);
    OtherRead other;
    other.readings = two->readings;
    other.zeroText = item(two->last, "lblZero");
    if (back)
        other.warning = *back;
    return other;
}

Outcome<DosimeterRead> recordBothWavelengths(Store& store, const Job& job, const DualPlan& plan,
                                             Record rec, const OtherRead& other) {
    takeCalibration(rec, plan.first);
    rec.readAt = other.readings.back().at;
    SecondRead s;
    s.wavelengthNm = plan.second.calibration.wavelengthNm;
    s.calibrationId = plan.second.calibration.id;
    s.calibrationVersion = plan.second.calibration.version;
    s.fitId = plan.second.fit.id;
    s.readings = other.readings;
    s.zeroText = other.zeroText;
    s.a0 = plan.second.a0();
    s.uA0 = plan.second.uA0();
    rec.second = s;
    auto r = store.addRecord(rec, [&](Record& r) {
        evaluateDualRecord(r, job, plan.first.calibration, plan.first.fit, plan.second.calibration,
                           plan.second.fit);
        rec = r;
    });
    if (!r)
        return Failure{other.warning.isEmpty()
                           ? r.error()
                           : QStringLiteral("%1. Also, %2").arg(r.error(), other.warning)};
    return DosimeterRead{rec, plan.first.fit, r->hash, other.warning};
}

Outcome<DosimeterRead> readBothWavelengths(Store& store, ReaderSource& reader,
                                           const ReadRequest& req, const Job& job,
                                           const QString& dosimeter, const Now& now) {
    auto chosen = usableCalibration(store, req.calibrationId, now().date());
    if (!chosen)
        return Failure{chosen.error()};
    auto partner = sameFilmsCalibration(store, chosen->calibration, now().date());
    if (!partner)
        return Failure{partner.error()};
    if (req.thicknessUm && !req.thicknessConfirmed)
        if (auto why = thicknessNeedsConfirming(*req.thicknessUm, chosen->batch.thicknessUm))
            return Failure{*why};
    auto start = reader.items();
    if (!start)
        return Failure{start.error()};
    auto plan = planBothWavelengths(store, job, *chosen, *partner, *start, now());
    if (!plan)
        return Failure{plan.error()};

    ReadingPeriod period;
    period.begin(*start);
    auto one =
        readSegment(reader, period, plan->firstContext(job), req.readings, req.timeoutMs, now);
    if (!one)
        return failedRead(one.error(), std::nullopt);
    auto other =
        readAtOtherWavelength(reader, *plan, job, *start, req.readings, req.timeoutMs, now);
    if (!other)
        return Failure{other.error()};

    Record rec;
    rec.jobId = job.id;
    rec.dosimeter = dosimeter;
    rec.irradiatedAt = req.irradiatedAt;
    rec.readings = one->readings;
    rec.simulated = one->last.value(QStringLiteral("Simulated")).toBool();
    rec.zeroText = item(one->last, "lblZero");
    rec.thicknessMeasured = req.thicknessUm.has_value();
    rec.thicknessUm = req.thicknessUm.value_or(plan->first.batch.thicknessUm);
    rec.uThicknessUm = req.uThicknessUm.value_or(plan->first.batch.uThicknessUm);
    rec.operatorName = req.operatorName;
    rec.comment = req.comment;
    return recordBothWavelengths(store, job, *plan, rec, *other);
}

} // namespace qvr::dose
