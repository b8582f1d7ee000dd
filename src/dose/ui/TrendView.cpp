#include "dose/ui/TrendView.h"

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
    : QWidget(parent), minutes_(minutes) {
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
    time_->setTitleText(QStringLiteral("time"));
    absorbance_ = new QValueAxis(chart_);
    absorbance_->setTitleText(QStringLiteral("A"));
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
    connect(&session, &CaptureSession::captured, this,
            [this](const Record& r, const QString&) { mark(r); });
}

void TrendView::add(const QDateTime& at, double a) {
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
    rescale(at);
}

void TrendView::mark(const Record& record) {
    captures_->append(record.readAt.toMSecsSinceEpoch(), record.absorbance);
}

void TrendView::rescale(const QDateTime& now) {
    time_->setRange(now.addSecs(-60 * minutes_).toLocalTime(), now.toLocalTime());
    double lo = 0, hi = 1;
    if (readings_->count() > 0) {
        lo = hi = readings_->at(0).y();
        for (const QPointF& p : readings_->points()) {
            lo = std::min(lo, p.y());
            hi = std::max(hi, p.y());
        }
        const double pad = std::max(0.01, (hi - lo) * 0.1);
        lo -= pad;
        hi += pad;
    }
    absorbance_->setRange(lo, hi);
}

} // namespace qvr::dose
