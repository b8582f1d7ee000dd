#include "ui/dlgPort.h"

#include "core/Messages.h"
#include "reader/BoardSelection.h"
#include "ui/TwipsGeometry.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace qvr {

dlgPort::dlgPort(BoardSelection& boards, DaqDriver& driver, ReaderState& state,
                 SettingsStore& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      boards_(boards), state_(state), settings_(settings), lblPortInstructions_(new QLabel(this)),
      lblPortAddress_(new QLabel(this)), cmbBoard_(new QComboBox(this)),
      OKButton_(new QPushButton(this)), cmdCancel_(new QPushButton(this)) {
    setObjectName(QStringLiteral("dlgPort"));
    setFont(formFont());
    setModal(true);
    setFixedSize(twipsSize(this, 5805, 2280));

    lblPortInstructions_->setObjectName(QStringLiteral("lblPortInstructions"));
    lblPortInstructions_->setWordWrap(true);
    lblPortInstructions_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTwipsGeometry(lblPortInstructions_, 120, 120, 3615, 855);
    lblPortAddress_->setObjectName(QStringLiteral("lblPortAddress"));
    lblPortAddress_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTwipsGeometry(lblPortAddress_, 240, 1560, 1335, 735);
    cmbBoard_->setObjectName(QStringLiteral("cmbBoard"));
    setTwipsGeometry(cmbBoard_, 1920, 1560, 3375, 315);
    OKButton_->setObjectName(QStringLiteral("OKButton"));
    setTwipsGeometry(OKButton_, 4200, 0, 1215, 375);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    setTwipsGeometry(cmdCancel_, 4200, 600, 1215, 375);

    // Form_Load
    boards_.load(driver);
    for (const BoardSelection::Entry& e : boards_.entries())
        cmbBoard_->addItem(e.name);
    cmbBoard_->setCurrentIndex(boards_.selected());
    setWindowTitle(text(200));
    lblPortInstructions_->setText(text(201));
    lblPortAddress_->setText(text(202));
    OKButton_->setText(text(208));
    cmdCancel_->setText(text(209));

    OKButton_->setDefault(true);
    connect(OKButton_, &QPushButton::clicked, this, &dlgPort::OKButton_Click);
    connect(cmdCancel_, &QPushButton::clicked, this, &dlgPort::cmdCancel_Click);
}

void dlgPort::OKButton_Click() {
    boards_.select(cmbBoard_->currentIndex());
    if (!boards_.accept(state_, settings_))
        qWarning("QVR100PCI: could not store the setting PCIPort");
    accept();
}

void dlgPort::reject() {
    boards_.cancel();
    QDialog::reject();
}

} // namespace qvr
