#include "ui/BarStack.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace qvr {

BarStack::BarStack(QWidget* parent) : QWidget(parent), column_(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("barStack"));
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);
    // At least its height, at the width it has: a bar may wrap its text.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
}

QLabel* BarStack::addBar(const QString& objectName, const QString& text, const QString& toolTip,
                         const QColor& background, const QColor& foreground) {
    auto* bar = new QLabel(text, this);
    bar->setObjectName(objectName);
    bar->setTextFormat(Qt::PlainText);
    bar->setAlignment(Qt::AlignCenter);
    bar->setToolTip(toolTip);
    bar->setAccessibleName(toolTip);
    bar->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; font-weight: bold; "
                                      "padding: 2px; }")
                           .arg(background.name(), foreground.name()));
    column_->addWidget(bar);
    bar->installEventFilter(this);
    bar->show(); // a child added to a shown window stays hidden until shown
    return bar;
}

int BarStack::barsHeight() const {
    const int w = width() > 0 ? width() : window()->width();
    int h = 0;
    for (int i = 0; i < column_->count(); ++i)
        if (QWidget* bar = column_->itemAt(i)->widget(); bar && !bar->isHidden())
            h += bar->hasHeightForWidth() ? bar->heightForWidth(w) : bar->sizeHint().height();
    return h;
}

void BarStack::relayout() {
    const int before = height_;
    height_ = barsHeight();
    if (height_ != before)
        emit grown(height_ - before);
}

bool BarStack::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if (t == QEvent::ShowToParent || t == QEvent::HideToParent)
        relayout();
    return QWidget::eventFilter(watched, event);
}

} // namespace qvr
