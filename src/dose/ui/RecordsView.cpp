#include "dose/ui/RecordsView.h"

#include "dose/core/DoseText.h"
#include "dose/core/FlagLegend.h"
#include "dose/core/JobSummary.h"
#include "dose/ui/Tones.h"
#include "dose/usecases/JobReview.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qvr::dose {

namespace {

// Shown as text, sorted by value.
QStandardItem* cell(const QVariant& value, Tone tone, const QString& text = QString()) {
    auto* item = new QStandardItem;
    item->setData(text.isEmpty() ? value.toString() : text, Qt::DisplayRole);
    item->setData(value, Qt::UserRole);
    item->setBackground(toneColour(tone));
    item->setEditable(false);
    return item;
}

QStandardItem* flagsCell(const QStringList& flags, Tone tone) {
    QStandardItem* item = cell(flags.join(QLatin1Char(' ')), tone);
    item->setToolTip(flagsExplained(flags));
    return item;
}

QString localTime(const QDateTime& t) {
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

RecordsView::RecordsView(Store& store, QWidget* parent) : QWidget(parent), store_(store) {
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(QStringLiteral("filter: any text in a row (Ctrl+F)"));
    filter_->setClearButtonEnabled(true);
    model_ = new QStandardItemModel(this);
    model_->setHorizontalHeaderLabels(
        {QStringLiteral("Record"), QStringLiteral("Version"), QStringLiteral("Dosimeter"),
         QStringLiteral("Read at"), QStringLiteral("A"), QStringLiteral("Thickness µm"),
         QStringLiteral("Dose kGy"), QStringLiteral("U kGy"), QStringLiteral("Flags"),
         QStringLiteral("Operator"), QStringLiteral("Reason")});
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setFilterKeyColumn(-1);
    proxy_->setSortRole(Qt::UserRole);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    table_ = new QTableView(this);
    table_->setModel(proxy_);
    table_->setSortingEnabled(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    // The flags are as wide as they need, so they are read rather than elided (the table
    // scrolls sideways on a small screen).
    table_->horizontalHeader()->setSectionResizeMode(8, QHeaderView::ResizeToContents);
    history_ = new QTableWidget(0, 7, this);
    history_->setHorizontalHeaderLabels({QStringLiteral("Version"), QStringLiteral("Stored at"),
                                         QStringLiteral("Thickness µm"), QStringLiteral("Dose kGy"),
                                         QStringLiteral("U kGy"), QStringLiteral("By"),
                                         QStringLiteral("Reason")});
    history_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    history_->verticalHeader()->hide();
    history_->horizontalHeader()->setStretchLastSection(true);
    review_ = new QLabel(this);
    review_->setWordWrap(true);
    budget_ = new QLabel(this);
    budget_->setWordWrap(true);
    budget_->setObjectName(QStringLiteral("recordBudget"));

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table_);
    auto* lower = new QWidget(split);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(new QLabel(QStringLiteral("History of the selected record"), lower));
    lowerLayout->addWidget(history_);
    lowerLayout->addWidget(budget_);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(split, 1);
    layout->addWidget(review_);

    connect(filter_, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecordsView::showHistory);
}

void RecordsView::focusFilter() {
    filter_->setFocus();
    filter_->selectAll();
}

void RecordsView::showJob(const QString& jobId) {
    // A refresh (a correction, another desk's write) keeps the record the user was looking at.
    const qint64 keep = jobId == jobId_ ? selectedRecord() : 0;
    jobId_ = jobId;
    all_.clear();
    model_->removeRows(0, model_->rowCount());
    history_->setRowCount(0);
    review_->clear();
    if (jobId.isEmpty())
        return;
    if (auto records = store_.records(jobId))
        all_ = *records;
    auto job = store_.job(jobId);
    for (const Record& r : latestVersions(all_)) {
        const Tone tone = job ? recordTone(r, *job) : Tone::Off;
        const bool valid = recordValidity(r) == Validity::Valid;
        const RoundedDose d = roundedToU(r.result.dose, r.result.expanded);
        // Sorted by the number, shown as written; a read without a dose sorts first.
        model_->appendRow(
            {cell(r.id, tone), cell(r.version, tone), cell(r.dosimeter, tone),
             cell(localTime(r.readAt), tone),
             cell(r.absorbance, tone, QString::number(r.absorbance, 'f', 3)),
             cell(r.thicknessUm, tone),
             cell(valid ? r.result.dose : -1.0, tone,
                  valid ? d.dose : recordResultText(r, nullptr)),
             cell(valid ? r.result.expanded : -1.0, tone, valid ? d.expanded : QStringLiteral("-")),
             flagsCell(job ? currentFlags(r, *job) : r.flags, tone), cell(r.operatorName, tone),
             cell(r.reason, tone)});
    }
    QStringList lines;
    if (auto reviews = store_.reviews(jobId))
        for (const Review& v : *reviews)
            lines << QStringLiteral("%1 by %2 at %3%4 (%5)")
                         .arg(v.approved ? QStringLiteral("Approved") : QStringLiteral("Returned"),
                              v.reviewer, localTime(v.createdAt),
                              v.reason.isEmpty() ? QString() : QStringLiteral(": ") + v.reason,
                              reviewSignatureText(v));
    review_->setText(lines.isEmpty() ? QStringLiteral("Not reviewed yet.")
                                     : lines.join(QLatin1Char('\n')));
    const QAbstractItemModel* shown = table_->model();
    for (int row = 0; keep && row < shown->rowCount(); ++row)
        if (shown->index(row, 0).data().toLongLong() == keep)
            table_->selectRow(row);
}

qint64 RecordsView::selectedRecord() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows(0);
    return rows.isEmpty() ? 0 : rows.first().data().toLongLong();
}

void RecordsView::showHistory() {
    history_->setRowCount(0);
    budget_->clear();
    const qint64 id = selectedRecord();
    for (const Record& r : all_) {
        if (r.id != id)
            continue;
        // The latest version's budget: versions come in order.
        budget_->setText(recordValidity(r) == Validity::Valid
                             ? QStringLiteral("Version %1: ").arg(r.version) + budgetLine(r.result)
                             : QString());
        const int row = history_->rowCount();
        history_->insertRow(row);
        const bool valid = recordValidity(r) == Validity::Valid;
        const RoundedDose d = roundedToU(r.result.dose, r.result.expanded);
        const QStringList cells{
            QString::number(r.version),
            localTime(r.createdAt),
            QString::number(r.thicknessUm),
            valid ? d.dose : recordResultText(r, nullptr),
            valid ? d.expanded : QStringLiteral("-"),
            r.operatorName,
            r.version > 1 ? QStringLiteral("%1 (%2)").arg(
                                r.reason, signatureOrAttribution(r.signature, r.operatorName))
                          : r.reason};
        for (int c = 0; c < cells.size(); ++c)
            history_->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}

} // namespace qvr::dose
