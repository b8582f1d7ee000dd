#include "dose/ui/ReaderCheckView.h"

#include "dose/usecases/RoleGate.h"

#include "dose/ui/Tones.h"
#include "dose/usecases/CheckRecording.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace qvr::dose {

namespace {

const QStringList kFilters{QStringLiteral("na"), QStringLiteral("nb"), QStringLiteral("nc")};

// As the reader's own filter check names them, with the item each is served as.
QString filterName(const QString& item) {
    const QString name = item == u"na"   ? QStringLiteral("Light")
                         : item == u"nb" ? QStringLiteral("Medium")
                         : item == u"nc" ? QStringLiteral("Dark")
                                         : QString();
    return name.isEmpty() ? item : QStringLiteral("%1 (%2)").arg(name, item);
}

QString number(double v) {
    return std::isfinite(v) ? QString::number(v, 'f', 3) : QStringLiteral("-");
}

} // namespace

ReaderCheckView::ReaderCheckView(Store& store, CaptureSession& session, Signer* signer,
                                 QString settingsFile, QWidget* parent)
    : QWidget(parent), store_(store), session_(session), signer_(signer),
      settingsFile_(std::move(settingsFile)) {
    certificate_ = new QLineEdit(this);
    tolerance_ = new QDoubleSpinBox(this);
    tolerance_->setRange(0.1, 10);
    tolerance_->setDecimals(2);
    tolerance_->setSuffix(QStringLiteral(" %"));
    certified_ = new QTableWidget(2, 4, this);
    certified_->setHorizontalHeaderLabels({QStringLiteral("Wavelength nm"), filterName(kFilters[0]),
                                           filterName(kFilters[1]), filterName(kFilters[2])});
    certified_->verticalHeader()->hide();
    certified_->setMaximumHeight(90);
    results_ = new QTableWidget(3, 4, this);
    results_->setHorizontalHeaderLabels({QStringLiteral("Filter"), QStringLiteral("Certified"),
                                         QStringLiteral("Measured"), QStringLiteral("Result")});
    results_->verticalHeader()->hide();
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Certificate"), certificate_);
    form->addRow(QStringLiteral("&Tolerance (relative)"), tolerance_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("Certified absorbance of the filters"), this));
    layout->addWidget(certified_);
    auto* how = new QLabel(QStringLiteral("Run Setup > Neutral Density Filter Check in the "
                                          "reader (Light, Medium and Dark filters); its results "
                                          "appear here. Then record the check (Ctrl+K)."),
                           this);
    how->setWordWrap(true);
    layout->addWidget(how);
    layout->addWidget(results_);
    layout->addWidget(status_);
    layout->addStretch();

    QSettings settings(settingsFile_, QSettings::IniFormat);
    FilterSet set;
    set.certificate = settings.value(QStringLiteral("filters/certificate")).toString();
    set.tolerancePercent = settings.value(QStringLiteral("filters/tolerance"), 1.0).toDouble();
    for (int row = 0; row < 2; ++row) {
        const int nm =
            settings.value(QStringLiteral("filters/wl%1").arg(row), row ? 600 : 510).toInt();
        for (const QString& f : kFilters) {
            const QVariant v =
                settings.value(QStringLiteral("filters/%1_%2").arg(QString::number(nm), f));
            if (v.isValid())
                set.certified[nm][f] = v.toDouble();
        }
        if (!set.certified.contains(nm))
            set.certified[nm] = {};
    }
    setFilterSet(set);
    connect(&session_, &CaptureSession::linkChanged, this, &ReaderCheckView::observe);
    connect(certificate_, &QLineEdit::editingFinished, this, &ReaderCheckView::saveSet);
    connect(tolerance_, &QDoubleSpinBox::editingFinished, this, &ReaderCheckView::saveSet);
    connect(certified_, &QTableWidget::itemChanged, this, &ReaderCheckView::saveSet);
}

FilterSet ReaderCheckView::filterSet() const {
    FilterSet set;
    set.certificate = certificate_->text().trimmed();
    set.tolerancePercent = tolerance_->value();
    for (int row = 0; row < certified_->rowCount(); ++row) {
        auto* wl = certified_->item(row, 0);
        const int nm = wl ? wl->text().toInt() : 0;
        if (nm <= 0)
            continue;
        auto& values = set.certified[nm];
        for (int c = 0; c < kFilters.size(); ++c) {
            auto* item = certified_->item(row, c + 1);
            bool ok = false;
            const double v = item ? item->text().toDouble(&ok) : 0;
            if (ok)
                values[kFilters[c]] = v;
        }
    }
    return set;
}

void ReaderCheckView::setFilterSet(const FilterSet& set) {
    {
        const QSignalBlocker block(certified_);
        certificate_->setText(set.certificate);
        tolerance_->setValue(set.tolerancePercent);
        int row = 0;
        for (auto it = set.certified.begin(); it != set.certified.end() && row < 2; ++it, ++row) {
            certified_->setItem(row, 0, new QTableWidgetItem(QString::number(it.key())));
            for (int c = 0; c < kFilters.size(); ++c)
                certified_->setItem(row, c + 1,
                                    new QTableWidgetItem(it.value().contains(kFilters[c])
                                                             ? number(it.value().value(kFilters[c]))
                                                             : QString()));
        }
    }
    saveSet();
    observe();
}

void ReaderCheckView::saveSet() {
    const FilterSet set = filterSet();
    QSettings settings(settingsFile_, QSettings::IniFormat);
    settings.remove(QStringLiteral("filters"));
    settings.setValue(QStringLiteral("filters/certificate"), set.certificate);
    settings.setValue(QStringLiteral("filters/tolerance"), set.tolerancePercent);
    int row = 0;
    for (auto it = set.certified.begin(); it != set.certified.end(); ++it, ++row) {
        settings.setValue(QStringLiteral("filters/wl%1").arg(row), it.key());
        for (auto v = it.value().begin(); v != it.value().end(); ++v)
            settings.setValue(
                QStringLiteral("filters/%1_%2").arg(QString::number(it.key()), v.key()), v.value());
    }
}

void ReaderCheckView::observe() {
    watch_.observe(session_.items());
    const int nm =
        servedWavelength(session_.items().value(QStringLiteral("WL")).toString()).value_or(0);
    const ReaderCheck preview = compareFilters(filterSet(), nm, QString(), watch_.measured());
    for (int i = 0; i < kFilters.size(); ++i) {
        const FilterResult* r = nullptr;
        for (const FilterResult& f : preview.filters)
            if (f.item == kFilters[i])
                r = &f;
        const bool measured = watch_.measured().contains(kFilters[i]);
        const Tone tone = !measured ? Tone::Off : (r && r->pass ? Tone::Good : Tone::Bad);
        const QStringList cells{
            filterName(kFilters[i]), r ? number(r->certified) : QStringLiteral("-"),
            measured ? number(watch_.measured().value(kFilters[i])) : QStringLiteral("-"),
            !measured
                ? QString()
                : (r && r->pass ? QStringLiteral("within tolerance") : QStringLiteral("OUT"))};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setBackground(toneColour(tone));
            results_->setItem(i, c, item);
        }
    }
    if (watch_.active()) {
        if (!inCheck_)
            recordedInCheck_.reset();
        inCheck_ = true;
        // A check recorded meanwhile keeps its message until the reader's check ends.
        if (!recordedInCheck_) {
            status_->setText(QStringLiteral("The reader is in its filter check at %1 nm.").arg(nm));
            paintTone(status_, Tone::Busy);
        }
    } else if (inCheck_) {
        inCheck_ = false;
        const bool pending = !watch_.measured().isEmpty();
        status_->setText(
            pending ? QStringLiteral("The reader's filter check has ended: record it (Ctrl+K).")
            : recordedInCheck_
                ? QStringLiteral("The reader's filter check has ended; it was recorded as "
                                 "check %1.")
                      .arg(*recordedInCheck_)
                : QStringLiteral("The reader's filter check ended without results."));
        paintTone(status_, pending ? Tone::Caution : Tone::Off);
    }
}

Outcome<ReaderCheck> ReaderCheckView::record() {
    const ReaderItems& items = session_.items();
    const auto nm = servedWavelength(items.value(QStringLiteral("WL")).toString());
    const QString head = items.value(QStringLiteral("lblSN")).toString().trimmed();
    const FilterSet set = filterSet();
    auto fail = [this](const QString& why) -> Outcome<ReaderCheck> {
        status_->setText(QStringLiteral("The check was not recorded: %1.").arg(why));
        paintTone(status_, Tone::Bad);
        return Failure{why};
    };
    if (auto why = actBlocker(store_, session_.operatorName(), QStringLiteral("reader check")))
        return fail(*why);
    if (!nm || head.isEmpty())
        return fail(QStringLiteral("the reader's wavelength and head are not known"));
    if (set.certificate.isEmpty())
        return fail(QStringLiteral("give the filter set's certificate"));
    if (set.certified.value(*nm).isEmpty())
        return fail(QStringLiteral("no certified values at %1 nm").arg(*nm));
    if (watch_.measured().isEmpty())
        return fail(QStringLiteral("no filter result since the reader's check began"));
    if (!signer_)
        return fail(QStringLiteral("this window cannot sign"));
    ReaderCheck compared = compareFilters(set, *nm, head, watch_.measured());
    compared.operatorName = session_.operatorName();
    auto recorded = recordCheck(store_, *signer_, compared);
    if (!recorded)
        return fail(recorded.error());
    const ReaderCheck& check = *recorded;
    status_->setText(QStringLiteral("Reader check %1 recorded: %2 (head %3, %4 nm); %5.")
                         .arg(QString::number(check.id),
                              check.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"), head,
                              QString::number(*nm),
                              signatureOrAttribution(check.signature, check.operatorName)));
    paintTone(status_, check.passed ? Tone::Good : Tone::Bad);
    watch_.reset();
    if (inCheck_)
        recordedInCheck_ = check.id;
    emit checkRecorded(check);
    return check;
}

} // namespace qvr::dose
