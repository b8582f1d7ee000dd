#include "dose/core/RecordTexts.h"

#include "dose/core/TextRules.h"

#include <functional>

namespace qvr::dose {

namespace {

using Accept = Outcome<QString> (*)(const QString&, const QString&);

// Checks and normalises each field in turn; stops at the first refusal.
class Texts {
public:
    Texts& id(QString& text, const char* field) { return take(text, field, acceptId); }
    Texts& optionalId(QString& text, const char* field) {
        return take(text, field, acceptOptionalId);
    }
    Texts& free(QString& text, const char* field) { return take(text, field, acceptFreeText); }
    Outcome<Done> result() const {
        if (why_)
            return Failure{*why_};
        return Done{};
    }

private:
    Texts& take(QString& text, const char* field, Accept accept) {
        if (why_)
            return *this;
        auto accepted = accept(QString::fromUtf8(field), text);
        if (accepted)
            text = *accepted;
        else
            why_ = accepted.error();
        return *this;
    }
    std::optional<QString> why_;
};

} // namespace

Outcome<Done> acceptTexts(Batch& b) {
    return Texts()
        .id(b.id, "batch id")
        .free(b.description, "description")
        .free(b.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(Amendment& a) {
    return Texts()
        .optionalId(a.certificate, "certificate")
        .free(a.reason, "reason")
        .free(a.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(Calibration& c) {
    Texts t;
    t.id(c.batchId, "batch id")
        .id(c.headSerial, "head serial")
        .optionalId(c.certificate, "certificate")
        .free(c.operatorName, "operator");
    for (CalibrationPoint& p : c.points)
        t.optionalId(p.dosimeter, "dosimeter id");
    return t.result();
}

Outcome<Done> acceptTexts(Fit& f) {
    return Texts()
        .free(f.choice, "choice")
        .free(f.exclusionReason, "exclusion reason")
        .free(f.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(Job& j) {
    return Texts()
        .id(j.id, "job id")
        .free(j.product, "product")
        .optionalId(j.studyId, "study id")
        .optionalId(j.monitoringPosition, "position")
        .free(j.processUnit, "process unit")
        .free(j.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(Record& r) {
    return Texts()
        .id(r.jobId, "job id")
        .id(r.dosimeter, "dosimeter id")
        .id(r.batchId, "batch id")
        .id(r.headSerial, "head serial")
        .free(r.zeroText, "zero")
        .free(r.reason, "reason")
        .free(r.comment, "comment")
        .free(r.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(Review& r) {
    Texts t;
    t.id(r.jobId, "job id").free(r.reason, "reason").free(r.reviewer, "reviewer");
    if (r.signature)
        t.free(r.signature->name, "signer's name").free(r.signature->meaning, "meaning");
    return t.result();
}

Outcome<Done> acceptTexts(SigningFailure& f) {
    return Texts().free(f.account, "account").free(f.act, "act").result();
}

Outcome<Done> acceptTexts(RoleChange& c) {
    return Texts()
        .free(c.account, "account")
        .free(c.role, "role")
        .free(c.reason, "reason")
        .free(c.by, "administrator")
        .result();
}

Outcome<Done> acceptTexts(ReaderCheck& c) {
    return Texts()
        .id(c.headSerial, "head serial")
        .optionalId(c.certificate, "certificate")
        .free(c.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(LabSetting& s) {
    return Texts().free(s.reason, "reason").free(s.operatorName, "operator").result();
}

Outcome<Done> acceptTexts(MappingStudy& s) {
    return Texts()
        .id(s.id, "study id")
        .free(s.product, "product")
        .free(s.loadingPattern, "loading pattern")
        .free(s.irradiator, "irradiator")
        .free(s.sourcePath, "source and path")
        .free(s.processText, "process")
        .free(s.processUnit, "process unit")
        .free(s.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(MappingPosition& p) {
    return Texts()
        .id(p.studyId, "study id")
        .id(p.id, "position id")
        .optionalId(p.layer, "layer")
        .free(p.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(MappingRun& r) {
    return Texts()
        .id(r.id, "run id")
        .id(r.studyId, "study id")
        .free(r.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(PositionDose& d) {
    return Texts()
        .id(d.runId, "run id")
        .id(d.position, "position id")
        .id(d.dosimeter, "dosimeter id")
        .free(d.source, "source")
        .free(d.operatorName, "operator")
        .result();
}

Outcome<Done> acceptTexts(MappingApproval& a) {
    return Texts()
        .id(a.studyId, "study id")
        .free(a.reason, "reason")
        .free(a.approver, "approver")
        .result();
}

} // namespace qvr::dose
