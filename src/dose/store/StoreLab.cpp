// The lab-wide settings, and fits stored before fits were judged, judged by them when read.

#include "dose/core/CalibrationLevels.h"
#include "dose/core/FitJudgement.h"
#include "dose/core/RecordTexts.h"
#include "dose/store/StoreInternals.h"

namespace qvr::dose {

Outcome<Receipt> Store::addLabSettings(std::vector<LabSetting> settings) {
    if (settings.empty())
        return Failure{QStringLiteral("no lab setting to set")};
    Receipt last;
    auto done = writeTransaction(*d_, [&]() -> Outcome<Done> {
        if (!d_->has(labSettingTable()))
            return Failure{QStringLiteral("the dose database %1 is at schema version %2, which "
                                          "keeps no lab settings: db migrate")
                               .arg(d_->location, QString::number(d_->version))};
        for (LabSetting& s : settings) {
            if (auto texts = acceptTexts(s); !texts)
                return Failure{texts.error()};
            auto value = settingValue(s.name, s.value);
            if (!value)
                return Failure{value.error()};
            s.value = *value;
            s.createdAt = now_();
            auto id = nextRowId(*d_, labSettingTable().name);
            if (!id)
                return Failure{id.error()};
            s.id = *id;
            auto r = appendRow(*d_, NewRow{&labSettingTable(), rowOf(s),
                                           QStringLiteral("lab_setting %1").arg(*id), s.canonical(),
                                           *id});
            if (!r)
                return Failure{r.error()};
            last = *r;
        }
        return Done{};
    });
    if (!done)
        return Failure{done.error()};
    return last;
}

Outcome<std::vector<LabSetting>> Store::labSettingRows() {
    std::vector<LabSetting> out;
    if (!d_->has(labSettingTable()))
        return out;
    auto r = d_->forEach(labSettingTable(), QString(), {},
                         [&](const RowValues& row) { out.push_back(labSettingOf(row)); });
    if (!r)
        return Failure{r.error()};
    return out;
}

Outcome<LabSettings> Store::labSettings() {
    auto rows = labSettingRows();
    if (!rows)
        return Failure{rows.error()};
    return dose::labSettings(*rows);
}

Outcome<Fit> judgedOnRead(Store& store, Outcome<Fit> fit) {
    if (!fit || fit->judgedWhenFitted)
        return fit;
    auto calibration = store.calibration(fit->calibrationId);
    if (!calibration)
        return Failure{calibration.error()};
    auto lab = store.labSettings();
    if (!lab)
        return Failure{lab.error()};
    fit->levelResponses = levelResponses(*calibration, fit->excluded);
    fit->acceptance = judgeFit(*calibration, *fit, lab->criteria);
    return fit;
}

} // namespace qvr::dose
