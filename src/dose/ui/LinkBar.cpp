#include "dose/ui/LinkBar.h"

#include "dose/ui/Tones.h"

#include <QHBoxLayout>
#include <QLabel>

namespace qvr::dose {

namespace {

QLabel* field(QHBoxLayout* row, const QString& caption, QWidget* parent) {
    auto* name = new QLabel(caption, parent);
    auto* value = new QLabel(QStringLiteral("-"), parent);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setMinimumWidth(60);
    row->addWidget(name);
    row->addWidget(value);
    row->addSpacing(12);
    return value;
}

} // namespace

LinkBar::LinkBar(const CaptureSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    absorbance_ = field(row, QStringLiteral("A"), this);
    QFont big = absorbance_->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    absorbance_->setFont(big);
    absorbance_->setMinimumWidth(90);
    wavelength_ = field(row, QStringLiteral("WL"), this);
    head_ = field(row, QStringLiteral("Head"), this);
    film_ = field(row, QStringLiteral("Film switch"), this);
    zero_ = field(row, QStringLiteral("Zero"), this);
    row->addStretch();
    state_ = new QLabel(this);
    state_->setMinimumWidth(150);
    state_->setAlignment(Qt::AlignCenter);
    QFont bold = state_->font();
    bold.setBold(true);
    state_->setFont(bold);
    state_->setMargin(4);
    row->addWidget(state_);
    refresh();
}

QString LinkBar::stateText() const {
    return state_->text();
}

Tone LinkBar::stateTone() const {
    return linkTone(session_.state());
}

void LinkBar::refresh() {
    const ReaderItems& items = session_.items();
    auto text = [&](const char* name) {
        const QString t = items.value(QLatin1String(name)).toString().trimmed();
        return t.isEmpty() ? QStringLiteral("-") : t;
    };
    absorbance_->setText(text("A"));
    wavelength_->setText(text("WL"));
    head_->setText(text("lblSN"));
    film_->setText(text("lblPresent"));
    zero_->setText(text("lblZero"));
    const LinkState state = session_.state();
    const QString words = linkStateWords(state, items);
    state_->setText(words);
    state_->setToolTip(words);
    paintTone(state_, linkTone(state));
}

} // namespace qvr::dose
