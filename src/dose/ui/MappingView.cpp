#include "dose/ui/MappingView.h"

#include "dose/core/Canonical.h"
#include "dose/core/MappingText.h"
#include "dose/ui/HeatMapWidget.h"
#include "dose/ui/PdfReport.h"
#include "dose/ui/Sentence.h"
#include "dose/ui/Tones.h"
#include "dose/usecases/MappingImport.h"
#include "dose/usecases/RoleGate.h"
#include "dose/usecases/StudyApproval.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qvr::dose {

namespace {

QTableWidget* table(const QStringList& headers, QWidget* parent) {
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setHorizontalHeaderLabels(headers);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return t;
}

void fill(QTableWidget* t, const std::vector<QStringList>& rows) {
    t->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < int(rows[r].size()); ++c)
            t->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    t->resizeColumnsToContents();
}

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text.toHtmlEscaped();
}

QString factsHtml(const StudyView& v) {
    const MappingStudy& s = v.records.study;
    const QStringList pairs{
        QStringLiteral("Product"),
        orDash(s.product),
        QStringLiteral("Loading pattern"),
        orDash(s.loadingPattern),
        QStringLiteral("Irradiator"),
        orDash(s.irradiator),
        QStringLiteral("Source and path"),
        orDash(s.sourcePath),
        QStringLiteral("Process"),
        processText(s).toHtmlEscaped(),
        QStringLiteral("Dose limits"),
        QStringLiteral("minimum required %1 kGy, maximum acceptable %2 kGy")
            .arg(numberText(s.minRequiredKGy), numberText(s.maxAcceptableKGy)),
        QStringLiteral("Runs"),
        QStringLiteral("%1 of %2 required; %3 positions%4")
            .arg(QString::number(v.records.runs.size()), QString::number(s.requiredRuns),
                 QString::number(v.records.positions.size()),
                 s.training ? QStringLiteral("; training study") : QString()),
    };
    QString rows;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        rows += QStringLiteral("<tr><td><b>%1</b>&nbsp;&nbsp;</td><td>%2</td></tr>")
                    .arg(pairs[i], pairs[i + 1]);
    return QStringLiteral("<table>%1</table>").arg(rows);
}

} // namespace

MappingView::MappingView(Store& store, Signer* signer, QString operatorName, Now now,
                         QWidget* parent)
    : QWidget(parent), store_(store), signer_(signer), operator_(std::move(operatorName)),
      now_(std::move(now)) {
    studies_ = new QComboBox(this);
    studies_->setObjectName(QStringLiteral("mappingStudy"));
    studies_->setMinimumContentsLength(16);
    runs_ = new QComboBox(this);
    runs_->setObjectName(QStringLiteral("mappingRun"));
    runs_->setMinimumContentsLength(18);
    pdf_ = new QPushButton(QStringLiteral("Study &PDF..."), this);
    import_ = new QPushButton(QStringLiteral("&Import run CSV..."), this);
    approve_ = new QPushButton(QStringLiteral("&Approve study..."), this);
    auto* studyLabel = new QLabel(QStringLiteral("&Study"), this);
    studyLabel->setBuddy(studies_);
    auto* runLabel = new QLabel(QStringLiteral("S&how"), this);
    runLabel->setBuddy(runs_);
    auto* top = new QHBoxLayout;
    top->addWidget(studyLabel);
    top->addWidget(studies_);
    top->addSpacing(12);
    top->addWidget(runLabel);
    top->addWidget(runs_);
    top->addStretch(1);
    top->addWidget(import_);
    top->addWidget(approve_);
    top->addWidget(pdf_);
    facts_ = new QLabel(this);
    facts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    approval_ = new QLabel(this);
    approval_->setWordWrap(true);
    approval_->setMargin(4);
    map_ = new HeatMapWidget(this);
    const QString k = numberText(kMappingCoverage);
    runTable_ = table({QStringLiteral("Run"), QStringLiteral("Dmin ± U (k = %1)").arg(k),
                       QStringLiteral("Dmax ± U (k = %1)").arg(k), QStringLiteral("DUR ± U"),
                       QStringLiteral("No valid dose")},
                      this);
    ratioTable_ =
        table({QStringLiteral("Monitoring"), QStringLiteral("Ratio"), QStringLiteral("Mean ± U"),
               QStringLiteral("SD"), QStringLiteral("k"), QStringLiteral("Runs")},
              this);
    auto* note =
        new QLabel(ratioUncertaintyText() +
                       QStringLiteral(" Studies are added, filled and approved on the command line "
                                      "(qvr100dose mapping ...); this view shows them."),
                   this);
    note->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(facts_);
    layout->addWidget(approval_);
    layout->addWidget(map_);
    // One above the other: side by side, a small screen would cut both.
    layout->addWidget(new QLabel(QStringLiteral("<b>Each run</b>"), this));
    layout->addWidget(runTable_);
    zones_ = new QLabel(this);
    zones_->setWordWrap(true);
    layout->addWidget(zones_);
    layout->addWidget(
        new QLabel(QStringLiteral("<b>Ratios to the monitoring positions</b>"), this));
    layout->addWidget(ratioTable_);
    layout->addWidget(note);
    layout->addStretch(1);

    connect(studies_, &QComboBox::currentIndexChanged, this, [this] { load(); });
    connect(runs_, &QComboBox::currentIndexChanged, this, [this] { showMap(); });
    connect(pdf_, &QPushButton::clicked, this, &MappingView::askReport);
    connect(import_, &QPushButton::clicked, this, &MappingView::askImport);
    connect(approve_, &QPushButton::clicked, this, &MappingView::askApprove);
    reload();
}

QString MappingView::studyId() const {
    return studies_->currentData().toString();
}

QString MappingView::runId() const {
    return runs_->currentData().toString();
}

void MappingView::reload() {
    const QString keep = studyId();
    const QSignalBlocker block(studies_);
    studies_->clear();
    if (auto all = store_.mappingStudies())
        for (const MappingStudy& s : *all)
            studies_->addItem(
                s.product.isEmpty() ? s.id : QStringLiteral("%1 (%2)").arg(s.id, s.product), s.id);
    const int at = studies_->findData(keep);
    studies_->setCurrentIndex(at >= 0 ? at : studies_->count() - 1);
    load();
}

void MappingView::showStudy(const QString& studyId) {
    const int at = studies_->findData(studyId);
    if (at >= 0)
        studies_->setCurrentIndex(at);
}

void MappingView::showRun(const QString& runId) {
    const int at = runs_->findData(runId);
    if (at >= 0)
        runs_->setCurrentIndex(at);
}

void MappingView::load() {
    const QString keepRun = runId();
    view_.reset();
    for (QPushButton* b : {pdf_, import_, approve_})
        b->setEnabled(false);
    map_->hide();
    {
        const QSignalBlocker block(runs_);
        runs_->clear();
    }
    if (studyId().isEmpty()) {
        facts_->setText(QStringLiteral("No mapping study yet: add one with qvr100dose mapping "
                                       "add (see the README's Dose mapping)."));
        approval_->clear();
        paintTone(approval_, Tone::Off);
        fill(runTable_, {});
        fill(ratioTable_, {});
        zones_->clear();
        map_->setMap({});
        return;
    }
    auto loaded = loadStudy(store_, studyId());
    if (!loaded) {
        facts_->setText(
            refusalSentence(QStringLiteral("The study cannot be shown"), loaded.error()));
        return;
    }
    view_ = std::move(*loaded);
    for (QPushButton* b : {pdf_, import_, approve_})
        b->setEnabled(true);
    map_->show();
    const MappingSummary& s = view_->summary;
    facts_->setText(factsHtml(*view_));

    QString state;
    Tone tone = Tone::Caution;
    if (view_->approved) {
        const MappingApproval& a = view_->records.approvals.back();
        state = QStringLiteral("Approved for routine monitoring: %1.")
                    .arg(signatureOrAttribution(a.signature, a.approver));
        tone = Tone::Good;
    } else if (!s.blockers.isEmpty()) {
        state = QStringLiteral("Not approved; blocks approval: %1.")
                    .arg(s.blockers.join(QStringLiteral("; ")));
        tone = Tone::Bad;
    } else {
        state = view_->records.study.training
                    ? QStringLiteral("Training study: never approved.")
                    : QStringLiteral("Not approved yet; nothing blocks approval by a login "
                                     "that made no part of the study.");
    }
    approval_->setText(state);
    paintTone(approval_, tone);

    std::vector<QStringList> rows;
    for (const RunResult& r : s.runs)
        rows.push_back({r.run, doseAtText(r.dmin, "<"), doseAtText(r.dmax, ">"),
                        r.dur ? valueWithU(*r.dur, r.uDur) : QStringLiteral("-"),
                        listText(r.missing)});
    rows.push_back({QStringLiteral("mean"), doseAtText(s.dmin, "<"), doseAtText(s.dmax, ">"),
                    s.dur ? valueWithU(*s.dur, s.uDur) : QStringLiteral("-"), QString()});
    fill(runTable_, rows);
    zones_->setText(QStringLiteral("Minimum zone: %1. Maximum zone: %2.")
                        .arg(listText(s.minZone), listText(s.maxZone)));
    rows.clear();
    for (const RatioResult& r : s.ratios) {
        rows.push_back({r.monitoring, QStringLiteral("Dmin/Dmon"), valueWithU(r.meanMin, r.uMin),
                        QString::number(r.sdMin, 'g', 2), numberText(s.coverage),
                        QString::number(r.runs)});
        rows.push_back({r.monitoring, QStringLiteral("Dmax/Dmon"), valueWithU(r.meanMax, r.uMax),
                        QString::number(r.sdMax, 'g', 2), numberText(s.coverage),
                        QString::number(r.runs)});
    }
    fill(ratioTable_, rows);

    {
        const QSignalBlocker block(runs_);
        runs_->addItem(QStringLiteral("Mean over the runs"), QString());
        for (const MappingRun& r : view_->records.runs)
            runs_->addItem(QStringLiteral("Run %1").arg(r.id), r.id);
        const int at = runs_->findData(keepRun);
        runs_->setCurrentIndex(at >= 0 ? at : 0);
    }
    showMap();
}

void MappingView::showMap() {
    if (!view_)
        return;
    map_->setMap(
        buildMappingMap(view_->records.positions, view_->records.runs, view_->summary, runId()));
}

Outcome<QString> MappingView::writeReport(const QString& path) {
    auto report = buildStudyReport(store_, studyId(), now_());
    Outcome<int> pages = report ? writePdfStudyReport(*report, path) : Failure{report.error()};
    if (!pages)
        return said(Failure{pages.error()});
    said(QStringLiteral("report %1 (%2 pages) written to %3")
             .arg(report->id, QString::number(*pages), path));
    return report->id;
}

Outcome<QString> MappingView::said(Outcome<QString> outcome) {
    emit spoke(outcome ? sentence(*outcome)
                       : refusalSentence(QStringLiteral("Not done"), outcome.error()));
    return outcome;
}

Outcome<QString> MappingView::importRun(const QString& runId, const QString& csvFile) {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("mapping import")))
        return said(Failure{*why});
    auto imported = importMappingDoses(store_, runId, csvFile, operator_);
    if (!imported)
        return said(Failure{imported.error()});
    reload();
    return said(QStringLiteral("%1 imported doses added to run %2; chain head %3")
                    .arg(QString::number(imported->doses), runId, imported->receipt.hash));
}

Outcome<QString> MappingView::approve(const QString& reason) {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("mapping approve")))
        return said(Failure{*why});
    const QString study = studyId();
    if (!signer_)
        return said(Failure{QStringLiteral("this window cannot sign")});
    auto approved = approveStudy(store_, *signer_, study, reason, operator_);
    if (!approved)
        return said(Failure{approved.error()});
    reload();
    return said(QStringLiteral("%1, signed; chain head %2")
                    .arg(approvalText(study, operator_), approved->hash));
}

void MappingView::askImport() {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("mapping import"))) {
        said(Failure{*why});
        return;
    }
    if (!view_ || view_->records.runs.empty()) {
        said(Failure{QStringLiteral("the study has no run yet")});
        return;
    }
    QStringList runs;
    for (const MappingRun& r : view_->records.runs)
        runs << r.id;
    bool ok = false;
    const QString run = QInputDialog::getItem(
        this, QStringLiteral("Import run CSV"), QStringLiteral("Run the doses belong to:"), runs,
        std::max<qsizetype>(0, runs.indexOf(runId())), false, &ok);
    if (!ok)
        return;
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Import run CSV"), QDir::homePath(),
                                     QStringLiteral("CSV files (*.csv)"));
    if (!file.isEmpty())
        importRun(run, file);
}

void MappingView::askApprove() {
    if (auto why = actBlocker(store_, operator_, QStringLiteral("mapping approve"))) {
        said(Failure{*why});
        return;
    }
    bool ok = false;
    const QString reason = QInputDialog::getText(
        this, QStringLiteral("Approve study"),
        QStringLiteral("Approve study %1 for routine monitoring as %2 (comment, optional):")
            .arg(studyId(), operator_),
        QLineEdit::Normal, QString(), &ok);
    if (ok)
        approve(reason);
}

void MappingView::askReport() {
    if (studyId().isEmpty())
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Study PDF"),
        QDir::home().filePath(studyId() + QStringLiteral("-study.pdf")),
        QStringLiteral("PDF files (*.pdf)"));
    if (!path.isEmpty())
        writeReport(path);
}

} // namespace qvr::dose
