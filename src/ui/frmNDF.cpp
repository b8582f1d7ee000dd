#include "ui/frmNDF.h"

#include "core/Messages.h"
#include "core/NumberText.h"
#include "ui/DialogKind.h"
#include "ui/TwipsGeometry.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace qvr {

namespace {

QPushButton* button(QWidget* parent, const char* name, int textId) {
    auto* b = new QPushButton(text(textId), parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

frmNDF::frmNDF(FilterCheck& check, QWidget* parent)
    : QDialog(parent, kFixedDialogFlags), check_(check), cmdZero_(button(this, "cmdZero", 303)),
      refusal_(label(this, "lblRefusedZero", {})),
      cmdAcceptClearPath_(button(this, "cmdAcceptClearPath", 1014)),
      filterButtons_{button(this, "cmdLight", 304), button(this, "cmdMedium", 305),
                     button(this, "cmdDark", 306)},
      results_{label(this, "ndfA", {}), label(this, "ndfB", {}), label(this, "ndfC", {})},
      OKButton_(button(this, "OKButton", 302)) {
    setObjectName(QStringLiteral("frmNDF"));
    setFont(formFont());
    makeModalTo(this, parent);
    setWindowTitle(text(300));

    QLabel* instructions = label(this, "lblInstructions", text(301));
    instructions->setWordWrap(true);
    instructions->setMinimumWidth(twipsToPixels(4800, screen()));
    QLabel* header = label(this, "lblHdr", text(308));
    QFont big = header->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    header->setFont(big);
    QLabel* wavelength = label(this, "lblWL", check_.wavelength());

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(twipsToPixels(360, screen()));
    grid->addWidget(instructions, 0, 0, 1, 2);
    // Said only while the zero is refused; the dialog grows to say it.
    refusal_->setWordWrap(true);
    refusal_->setStyleSheet(QStringLiteral("QLabel { color: #8a4b00; font-weight: bold; }"));
    refusal_->hide();
    cmdAcceptClearPath_->hide();
    grid->addWidget(refusal_, 1, 0, 1, 2);
    grid->addWidget(cmdAcceptClearPath_, 2, 0, 1, 2, Qt::AlignHCenter);
    auto* heading = new QVBoxLayout;
    heading->addWidget(header);
    heading->addWidget(wavelength);
    grid->addWidget(cmdZero_, 3, 0, Qt::AlignBottom);
    grid->addLayout(heading, 3, 1);
    // Hidden results keep their room, so the dialog does not change size as they appear.
    const int resultWidth = fontMetrics().horizontalAdvance(QStringLiteral("-000.000"));
    for (int f = 0; f < FilterCheck::kFilters; ++f) {
        grid->addWidget(filterButtons_[f], 4 + f, 0);
        QLabel* result = results_[f];
        QSizePolicy keep = result->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        result->setSizePolicy(keep);
        result->setMinimumWidth(resultWidth);
        result->hide();
        grid->addWidget(result, 4 + f, 1);
    }
    grid->addWidget(OKButton_, 7, 0, 1, 2, Qt::AlignHCenter);

    setTabOrder(cmdZero_, filterButtons_[0]);
    setTabOrder(filterButtons_[0], filterButtons_[1]);
    setTabOrder(filterButtons_[1], filterButtons_[2]);
    setTabOrder(filterButtons_[2], OKButton_);

    setFixedSize(sizeHint());

    enableFilters(false);
    cmdZero_->setFocus();

    connect(cmdZero_, &QPushButton::clicked, this, &frmNDF::cmdZero_Click);
    connect(cmdAcceptClearPath_, &QPushButton::clicked, this, [this] {
        QMessageBox ask(QMessageBox::Question, kAppTitle, text(1015),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setDefaultButton(QMessageBox::No);
        if (ask.exec() == QMessageBox::Yes)
            cmdAcceptClearPath_Click();
    });
    connect(filterButtons_[0], &QPushButton::clicked, this, &frmNDF::cmdLight_Click);
    connect(filterButtons_[1], &QPushButton::clicked, this, &frmNDF::cmdMedium_Click);
    connect(filterButtons_[2], &QPushButton::clicked, this, &frmNDF::cmdDark_Click);
    connect(OKButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void frmNDF::enableFilters(bool on) {
    for (QPushButton* b : filterButtons_)
        b->setEnabled(on);
}

void frmNDF::cmdZero_Click() {
    showZero(check_.zero());
}

void frmNDF::cmdAcceptClearPath_Click() {
    showZero(check_.zero(true));
}

void frmNDF::showZero(const ZeroResult& zero) {
    const bool refused = zero.outcome == ZeroResult::Darker;
    refusal_->setText(refused ? text(1013) + formatFixed(zero.darkness, 3) : QString());
    if (refused == refusal_->isHidden()) {
        refusal_->setVisible(refused);
        cmdAcceptClearPath_->setVisible(refused);
        layout()->activate();
        setFixedSize(sizeHint());
    }
    enableFilters(check_.filtersEnabled());
    if (check_.filtersEnabled())
        filterButtons_[0]->setFocus();
}

void frmNDF::readFilter(FilterCheck::Filter filter) {
    enableFilters(false);
    check_.read(filter);
    QLabel* result = results_[filter];
    result->setText(check_.resultText(filter));
    result->setVisible(check_.value(filter).has_value());
    enableFilters(check_.filtersEnabled());
    if (filter + 1 < FilterCheck::kFilters)
        filterButtons_[filter + 1]->setFocus();
    else
        OKButton_->setFocus();
}

} // namespace qvr
