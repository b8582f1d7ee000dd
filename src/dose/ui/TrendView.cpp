#include "dose/ui/TrendView.h"

#include "dose/core/NiceScale.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace qvr::dose {

TrendView::TrendView(CaptureSession& session, int minutes, QWidget* parent)
    : QWidget(parent), session_(session), minutes_(minutes) {
    chart_ = new QChart;
    chart_->setTitle(QStringLiteral("Absorbance, last %1 minutes").arg(minutes_));
    readings_ = new QLineSeries(chart_);
    readings_->setName(QStringLiteral("A"));
    captures_ = new QScatterSeries(chart_);
    captures_->setName(QStringLiteral("captured"));
    captures_->setMarkerSize(11);
    captures_->setColor(QColor(0xc0, 0x30, 0x30));
    chart_->addSeries(readings_);
    chart_->addSeries(captures_);
    time_ = new QDateTimeAxis(chart_);
    time_->setFormat(QStringLiteral("HH:mm:ss"));
    time_->setTitleText(QStringLiteral("local time"));
    absorbance_ = new QValueAxis(chart_);
    absorbance_->setTitleText(QStringLiteral("absorbance A"));
    absorbance_->setLabelFormat(QStringLiteral("%.3f"));
    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(absorbance_, Qt::AlignLeft);
    for (auto* s : {static_cast<QXYSeries*>(readings_), static_cast<QXYSeries*>(captures_)}) {
        s->attachAxis(time_);
        s->attachAxis(absorbance_);
    }
    view_ = new QChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    rescale(QDateTime::currentDateTime());

    connect(&session, &CaptureSession::reading, this, &TrendView::add);
    // The line breaks where the film was out: no reading joins across that time.
    connect(&session, &CaptureSession::linkChanged, this, [this] {
        if (session_.items().value(QStringLiteral("lblPresent")).toString() != u"Film" &&
            readings_->count() > 0)
            filmWasOut_ = true;
    });
    connect(&session, &CaptureSession::captured, this,
            [this](const Record& r, const QString&) { mark(r); });
}

void TrendView::add(const QDateTime& at, double a) {
    if (filmWasOut_) {
        filmWasOut_ = false;
        earlier_.push_back(readings_);
        readings_ = new QLineSeries(chart_);
        readings_->setColor(earlier_.front()->color());
        chart_->addSeries(readings_);
        readings_->attachAxis(time_);
        readings_->attachAxis(absorbance_);
    }
    readings_->append(at.toMSecsSinceEpoch(), a);
    // Only the last minutes stay.
    const qint64 oldest = at.addSecs(-60 * minutes_).toMSecsSinceEpoch();
    int drop = 0;
    while (drop < readings_->count() && readings_->at(drop).x() < oldest)
        ++drop;
    if (drop > 0)
        readings_->removePoints(0, drop);
    drop = 0;
    while (drop < captures_->count() && captures_->at(drop).x() < oldest)
        ++drop;
    if (drop > 0)
        captures_->removePoints(0, drop);
    while (!earlier_.empty() &&
           (earlier_.front()->count() == 0 ||
            earlier_.front()->at(earlier_.front()->count() - 1).x() < oldest)) {
        chart_->removeSeries(earlier_.front());
        delete earlier_.front();
        earlier_.erase(earlier_.begin());
    }
    rescale(at);
}

void TrendView::mark(const Record& record) {
    captures_->append(record.readAt.toMSecsSinceEpoch(), record.absorbance);
}

void TrendView::rescale(const QDateTime& now) {
    time_->setRange(now.addSecs(-60 * minutes_).toLocalTime(), now.toLocalTime());
    double lo = 1e300, hi = -1e300;
    std::vector<QLineSeries*> all = earlier_;
    all.push_back(readings_);
    for (const QLineSeries* series : all)
        for (const QPointF& p : series->points()) {
            lo = std::min(lo, p.y());
            hi = std::max(hi, p.y());
        }
    if (lo > hi)
        lo = 0, hi = 1;
    const NiceScale scale = niceScale(lo, hi, 6);
    absorbance_->setRange(scale.lo, scale.hi);
    absorbance_->setTickType(QValueAxis::TicksDynamic);
    absorbance_->setTickAnchor(scale.lo);
    absorbance_->setTickInterval(scale.step);
}

} // namespace qvr::dose
