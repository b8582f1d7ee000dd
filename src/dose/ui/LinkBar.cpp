#include "dose/ui/LinkBar.h"

#include "dose/ui/Tones.h"

#include <QHBoxLayout>
#include <QLabel>

namespace qvr::dose {

namespace {

QLabel* field(QHBoxLayout* row, const QString& caption, QWidget* parent) {
    auto* name = new QLabel(caption, parent);
    auto* value = new QLabel(QStringLiteral("—"), parent);
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
    state_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont bold = state_->font();
    bold.setBold(true);
    state_->setFont(bold);
    state_->setMargin(4);
    row->addWidget(state_);
    refresh();
}

QString LinkBar::stateText() const {
    return words_;
}

QString LinkBar::filmText() const {
    return film_->text();
}

QString LinkBar::absorbanceText() const {
    return absorbance_->text();
}

QString LinkBar::headText() const {
    return head_->text();
}

Tone LinkBar::stateTone() const {
    return linkTone(session_.state());
}

void LinkBar::refresh() {
    const ReaderItems& items = session_.items();
    const LinkState state = session_.state();
    // A reader in fault, stopped or too old serves labels it may never have read: none is shown
    // as if it were a reading. One still starting serves its window's placeholders, even for
    // the head it has not identified yet.
    const bool starting = state == LinkState::Starting;
    const bool live = state != LinkState::Fault && state != LinkState::NotRunning &&
                      state != LinkState::Older && !starting;
    auto text = [&](const char* name, bool measured) {
        const QString t = items.value(QLatin1String(name)).toString().trimmed();
        return t.isEmpty() || starting || (measured && !live) ? QStringLiteral("—") : t;
    };
    absorbance_->setText(text("A", true));
    wavelength_->setText(text("WL", false));
    head_->setText(text("lblSN", false));
    film_->setText(text("lblPresent", true));
    zero_->setText(text("lblZero", true));
    words_ = linkStateWords(state, items);
    // The state's word first, the reader's detail after it, cut at the end where it is long.
    const QFontMetrics fm(state_->font());
    state_->setText(fm.elidedText(words_, Qt::ElideRight, fm.averageCharWidth() * 36));
    state_->setToolTip(words_);
    paintTone(state_, linkTone(state));
}

} // namespace qvr::dose
