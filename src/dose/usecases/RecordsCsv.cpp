#include "dose/usecases/RecordsCsv.h"

#include "dose/core/Canonical.h"
#include "dose/core/OutputFile.h"
#include "dose/core/Signature.h"
#include "dose/usecases/JobRecords.h"

#include <charconv>
#include <cmath>
#include <string>

namespace qvr::dose {

namespace {

// A text field, quoted when it holds a comma, quote or line break.
// The columns of the second read, after the comment.
constexpr size_t kSecondColumns = 16;

void appendField(std::string& out, const QString& text) {
    // Most are short ASCII ids: copied as they are, without a conversion of their own.
    bool plain = true;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        plain = plain && u >= 0x20 && u < 0x7F && u != ',' && u != '"';
    }
    if (plain) {
        for (QChar c : text)
            out += static_cast<char>(c.unicode());
        return;
    }
    const QByteArray bytes = text.toUtf8();
    const bool quote =
        bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r');
    if (quote)
        out += '"';
    for (char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    if (quote)
        out += '"';
}

// The second read of a film read at both wavelengths, and the doses of each; empty fields for a
// single read.
void appendSecondRead(std::string& out, const Record& r) {
    char buffer[32];
    auto number = [&](double v) {
        out += ',';
        if (std::isfinite(v))
            out.append(buffer, writeNumberText(v, buffer));
    };
    if (!r.second) {
        out.append(kSecondColumns, ',');
        return;
    }
    const SecondRead& s = *r.second;
    auto dose = [&](const DoseResult& d) {
        number(d.dose);
        number(d.expanded);
        number(std::isfinite(d.expanded) ? d.coverage : NAN);
    };
    dose(s.first);
    out += ',' + std::to_string(s.wavelengthNm) + ',' + std::to_string(s.calibrationId) + ',' +
           std::to_string(s.fitId);
    number(s.absorbance);
    out += ',';
    for (size_t i = 0; i < s.readings.size(); ++i) {
        if (i > 0)
            out += ' ';
        out.append(buffer, writeNumberText(s.readings[i].absorbance, buffer));
    }
    out += ',';
    appendField(out, s.zeroText);
    dose(s.second);
    if (s.hasAgreement) {
        number(s.agreement.difference);
        number(s.agreement.expanded);
        number(s.agreement.coverage);
        out += s.agreement.consistent ? ",yes" : ",no";
    } else {
        out.append(4, ',');
    }
}

// The columns of a routine read, after the second read's.
constexpr size_t kRoutineColumns = 13;

// The study, position and ratios a routine read used and what it infers, or why it infers
// nothing; empty fields for a job that is not routine.
void appendInference(std::string& out, const Record& r, const RoutineSummary* routine) {
    if (!routine) {
        out.append(kRoutineColumns, ',');
        return;
    }
    char buffer[32];
    auto number = [&](double v, bool present) {
        out += ',';
        if (present && std::isfinite(v))
            out.append(buffer, writeNumberText(v, buffer));
    };
    const RatioResult& q = routine->ratio;
    out += ',';
    appendField(out, routine->study.id);
    out += ',';
    appendField(out, q.monitoring);
    for (double v : {q.meanMin, q.uMin, q.meanMax, q.uMax})
        number(v, q.runs > 0);
    const RecordInference i = inferRecord(r, *routine);
    const InferredDoses d = i.inferred.value_or(InferredDoses{});
    for (double v : {d.dminKGy, d.uDminKGy, d.dmaxKGy, d.uDmaxKGy, d.coverage})
        number(v, i.inferred.has_value());
    out += ',';
    if (i.inferred)
        appendField(out, decisionWords(d.decision));
    out += ',';
    appendField(out, i.why);
}

void appendRecord(std::string& out, const Record& r, bool superseded,
                  const RoutineSummary* routine) {
    char buffer[32];
    auto integer = [&](qint64 v) {
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr - buffer);
        out += ',';
    };
    // Every digit; an empty field where there is no number.
    auto number = [&](double v) {
        if (std::isfinite(v))
            out.append(buffer, writeNumberText(v, buffer));
        out += ',';
    };
    auto time = [&](const QDateTime& t) {
        out.append(buffer, writeTimeText(t, buffer));
        out += ',';
    };
    auto text = [&](const QString& t) {
        appendField(out, t);
        out += ',';
    };
    auto word = [&](const char* w) {
        out += w;
        out += ',';
    };
    const Components& c = r.result.components;
    integer(r.id);
    integer(r.version);
    word(superseded ? "yes" : "no");
    text(r.dosimeter);
    time(r.readAt);
    time(r.irradiatedAt);
    number(r.absorbance);
    for (size_t i = 0; i < r.readings.size(); ++i) {
        if (i > 0)
            out += ' ';
        out.append(buffer, writeNumberText(r.readings[i].absorbance, buffer));
    }
    out += ',';
    number(r.thicknessUm);
    word(r.thicknessMeasured ? "gauge" : "nominal");
    number(r.result.response);
    number(r.result.dose);
    number(r.result.expanded);
    // k belongs to U: none where there is no U.
    number(std::isfinite(r.result.expanded) ? r.result.coverage : NAN);
    word(recordValidity(r) == Validity::Valid ? "yes" : "no");
    for (double v : {c.fit, c.reference, c.reproducibility, c.thickness, c.reading, c.background})
        number(v);
    appendField(out, r.flags.join(QLatin1Char(' ')));
    out += ',';
    integer(r.calibrationId);
    integer(r.fitId);
    text(r.batchId);
    integer(r.wavelengthNm);
    text(r.headSerial);
    text(r.zeroText);
    text(r.operatorName);
    time(r.createdAt);
    text(r.reason);
    appendField(out, r.comment);
    appendSecondRead(out, r);
    appendInference(out, r, routine);
    // A correction says who signed it, as the record shows it; a first read is attributed by
    // its operator column.
    out += ',';
    if (r.version > 1)
        appendField(out, signatureOrAttribution(r.signature, r.operatorName));
    out += '\n';
}

const char kHeader[] =
    "record,version,superseded,dosimeter,read_at,irradiated_at,absorbance,readings,thickness_um,"
    "thickness_source,response_per_mm,dose_kGy,U_kGy,k,in_range,u_fit_percent,u_reference_percent,"
    "u_reproducibility_percent,u_thickness_percent,u_reading_percent,u_background_percent,flags,"
    "calibration,fit,batch,wavelength_nm,head,zero,operator,created_at,reason,comment,"
    "first_dose_kGy,first_U_kGy,first_k,second_wavelength_nm,second_calibration,second_fit,"
    "second_absorbance,second_readings,second_zero,second_dose_kGy,second_U_kGy,second_k,"
    "difference_kGy,U_difference_kGy,difference_k,consistent,study,monitoring_position,ratio_min,"
    "U_ratio_min,ratio_max,U_ratio_max,inferred_dmin_kGy,U_inferred_dmin_kGy,inferred_dmax_kGy,"
    "U_inferred_dmax_kGy,inferred_k,inferred_decision,no_inference,signature\n";

} // namespace

QByteArray recordsCsvRows(const std::vector<Record>& all, const RoutineSummary* routine) {
    std::string out;
    out.reserve(all.size() * 420 + 512);
    out += kHeader;
    for (size_t i = 0; i < all.size(); ++i)
        appendRecord(out, all[i], supersededAt(all, i), routine);
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

Outcome<CsvExport> recordsCsv(Store& store, const QString& jobId) {
    auto exported = jobRecords(store, jobId);
    if (!exported)
        return Failure{exported.error()};
    auto head = store.headHash();
    if (!head)
        return Failure{head.error()};
    const QByteArray text =
        QStringLiteral("# qvr100dose records of job %1, chain head %2\n")
            .arg(exported->job.id, *head)
            .toUtf8() +
        recordsCsvRows(exported->records, exported->routine ? &*exported->routine : nullptr);
    return CsvExport{exported->job.id, QString(), static_cast<qint64>(exported->records.size()),
                     *head, text};
}

Outcome<CsvExport> exportRecordsCsv(Store& store, const QString& jobId, const QString& path) {
    auto csv = recordsCsv(store, jobId);
    if (!csv)
        return csv;
    if (auto written = writeOutputFile(path, csv->text); !written)
        return Failure{written.error()};
    csv->file = path;
    return csv;
}

QString exportText(const CsvExport& done) {
    return QStringLiteral("%1 record versions of job %2 written to %3")
        .arg(QString::number(done.versions), done.jobId, done.file);
}

} // namespace qvr::dose
