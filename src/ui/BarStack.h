#pragma once
// Bars that speak for the whole window (the simulated card, a fault), stacked in a space of
// their own above the client area, so that no bar ever lies over a control or a value.
// Showing or hiding a bar says by how much the stack grew, so that the window can grow by
// as much and its client area keep its size.

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace qvr {

class BarStack : public QWidget {
    Q_OBJECT
public:
    explicit BarStack(QWidget* parent = nullptr);

    // A new bar under the ones already there, shown at once. Its text is plain text.
    QLabel* addBar(const QString& objectName, const QString& text, const QString& toolTip,
                   const QColor& background, const QColor& foreground = Qt::black);

    // The height the shown bars take at the stack's width (a bar may wrap its text).
    int barsHeight() const;
    // A shown bar's text changed: grown() says by how much the stack's height did.
    void relayout();

signals:
    // A bar was shown or hidden: the stack is now delta pixels taller (or shorter).
    void grown(int delta);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QVBoxLayout* column_;
    int height_ = 0;
};

} // namespace qvr
