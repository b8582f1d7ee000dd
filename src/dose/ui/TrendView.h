#pragma once
// The absorbance over the last minutes as a live plot, with a mark at every capture.

#include "dose/usecases/CaptureSession.h"

#include <QWidget>
#include <vector>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace qvr::dose {

class TrendView : public QWidget {
    Q_OBJECT
public:
    explicit TrendView(CaptureSession& session, int minutes = 5, QWidget* parent = nullptr);

    QLineSeries* readings() const { return readings_; } // since the film last went in
    int segments() const { return static_cast<int>(earlier_.size()) + 1; }
    QScatterSeries* captures() const { return captures_; }

private:
    void add(const QDateTime& at, double a);
    void mark(const Record& record);
    void rescale(const QDateTime& now);

    const CaptureSession& session_;
    int minutes_;
    std::vector<QLineSeries*> earlier_; // before the film was last out, oldest first
    bool filmWasOut_ = false;
    QChart* chart_;
    QChartView* view_;
    QLineSeries* readings_;
    QScatterSeries* captures_;
    QDateTimeAxis* time_;
    QValueAxis* absorbance_;
};

} // namespace qvr::dose
