#include "dose/usecases/RecordsCsv.h"

#include "dose/core/Canonical.h"
#include "dose/core/OutputFile.h"
#include "dose/usecases/JobRecords.h"

namespace qvr::dose {

namespace {

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

QString recordsCsvHeader() {
    return QStringLiteral(
        "record,version,superseded,dosimeter,read_at,irradiated_at,absorbance,readings,"
        "thickness_um,thickness_source,response_per_mm,dose_kGy,U_kGy,in_range,u_fit_percent,"
        "u_reference_percent,u_reproducibility_percent,u_thickness_percent,u_reading_percent,"
        "flags,calibration,fit,batch,wavelength_nm,head,zero,operator,created_at,reason,"
        "comment");
}

QString recordCsvLine(const Record& r, bool superseded) {
    QStringList readings;
    for (const Reading& x : r.readings)
        readings << numberText(x.absorbance);
    const Components& c = r.result.components;
    QStringList f{QString::number(r.id),
                  QString::number(r.version),
                  superseded ? QStringLiteral("yes") : QStringLiteral("no"),
                  csvField(r.dosimeter),
                  timeText(r.readAt),
                  timeText(r.irradiatedAt),
                  numberText(r.absorbance),
                  readings.join(QLatin1Char(' ')),
                  numberText(r.thicknessUm),
                  r.thicknessMeasured ? QStringLiteral("gauge") : QStringLiteral("nominal"),
                  numberText(r.result.response),
                  numberText(r.result.dose),
                  numberText(r.result.expanded),
                  r.result.inRange ? QStringLiteral("yes") : QStringLiteral("no"),
                  numberText(c.fit),
                  numberText(c.reference),
                  numberText(c.reproducibility),
                  numberText(c.thickness),
                  numberText(c.reading),
                  r.flags.join(QLatin1Char(' ')),
                  QString::number(r.calibrationId),
                  QString::number(r.fitId),
                  csvField(r.batchId),
                  QString::number(r.wavelengthNm),
                  csvField(r.headSerial),
                  csvField(r.zeroText),
                  csvField(r.operatorName),
                  timeText(r.createdAt),
                  csvField(r.reason),
                  csvField(r.comment)};
    return f.join(QLatin1Char(','));
}

QString recordsCsvRows(const std::vector<Record>& all) {
    QString out;
    out.reserve(static_cast<qsizetype>(all.size()) * 400 + 512);
    out += recordsCsvHeader();
    out += QLatin1Char('\n');
    for (size_t i = 0; i < all.size(); ++i) {
        out += recordCsvLine(all[i], supersededAt(all, i));
        out += QLatin1Char('\n');
    }
    return out;
}

Outcome<CsvExport> recordsCsv(Store& store, const QString& jobId) {
    auto exported = jobRecords(store, jobId);
    if (!exported)
        return Failure{exported.error()};
    auto head = store.headHash();
    if (!head)
        return Failure{head.error()};
    const QString text = QStringLiteral("# qvr100dose records of job %1, chain head %2\n")
                             .arg(exported->job.id, *head) +
                         recordsCsvRows(exported->records);
    return CsvExport{exported->job.id, QString(), static_cast<qint64>(exported->records.size()),
                     *head, text};
}

Outcome<CsvExport> exportRecordsCsv(Store& store, const QString& jobId, const QString& path) {
    auto csv = recordsCsv(store, jobId);
    if (!csv)
        return csv;
    if (auto written = writeOutputFile(path, csv->text.toUtf8()); !written)
        return Failure{written.error()};
    csv->file = path;
    return csv;
}

QString exportText(const CsvExport& done) {
    return QStringLiteral("%1 record versions of job %2 written to %3")
        .arg(QString::number(done.versions), done.jobId, done.file);
}

} // namespace qvr::dose
