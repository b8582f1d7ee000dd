#include "ui/dlgPort.h"

#include "core/Messages.h"
#include "reader/BoardSelection.h"
#include "ui/DialogKind.h"
#include "ui/TwipsGeometry.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace qvr {

namespace {
constexpr int kClientWidth = 5805;
constexpr int kClientHeight = 2280;
constexpr int kNoteLeft = 240;
constexpr int kNoteTop = 1935;
constexpr int kNoteWidth = 5055;
const QString kPreferredBoard = QStringLiteral("PCI-DAS08");
} // namespace

QLabel* dlgPort::addNote(const char* name, const QString& text, int& top) {
    // Under the list, as many lines as the text needs; the dialog grows to hold them.
    auto* note = new QLabel(text, this);
    note->setObjectName(QLatin1String(name));
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    const QRect box = twipsRect(kNoteLeft, top, kNoteWidth, 0, screen());
    note->setGeometry(box.x(), box.y(), box.width(), note->heightForWidth(box.width()));
    top += pixelsToTwips(note->height(), screen()) + 120;
    return note;
}

dlgPort::dlgPort(BoardSelection& boards, DaqDriver& driver, ReaderState& state,
                 SettingsStore& settings, QWidget* parent, bool simulated, Claim claim)
    : QDialog(parent, kFixedDialogFlags), boards_(boards), state_(state), settings_(settings),
      claim_(std::move(claim)), lblPortInstructions_(new QLabel(this)),
      lblPortAddress_(new QLabel(this)), cmbBoard_(new QComboBox(this)),
      OKButton_(new QPushButton(this)), cmdCancel_(new QPushButton(this)) {
    setObjectName(QStringLiteral("dlgPort"));
    setFont(formFont());
    makeModalTo(this, parent);

    lblPortInstructions_->setObjectName(QStringLiteral("lblPortInstructions"));
    lblPortInstructions_->setWordWrap(true);
    lblPortInstructions_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTwipsGeometry(lblPortInstructions_, 120, 120, 3615, 855);
    // The label stands level with its list; the buttons keep a margin from the title bar.
    lblPortAddress_->setObjectName(QStringLiteral("lblPortAddress"));
    lblPortAddress_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTwipsGeometry(lblPortAddress_, 240, 1560, 1335, 315);
    cmbBoard_->setObjectName(QStringLiteral("cmbBoard"));
    setTwipsGeometry(cmbBoard_, 1920, 1560, 3375, 315);
    OKButton_->setObjectName(QStringLiteral("OKButton"));
    setTwipsGeometry(OKButton_, 4200, 120, 1215, 375);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    setTwipsGeometry(cmdCancel_, 4200, 600, 1215, 375);

    // Form_Load
    boards_.load(driver);
    bool preferred = false;
    for (const BoardSelection::Entry& e : boards_.entries()) {
        cmbBoard_->addItem(e.name);
        preferred |= e.name == kPreferredBoard;
    }
    cmbBoard_->setCurrentIndex(boards_.selected());

    int noteTop = kNoteTop;
    // The simulated card calls itself PCI-DAS08, which the preselection looks for.
    if (simulated)
        addNote("lblSimulatedCard",
                QStringLiteral("The PCI-DAS08 listed is the simulated card: no real card is read."),
                noteTop);
    if (!preferred)
        addNote("lblNoCard", text(203), noteTop);
    setFixedSize(twipsSize(this, kClientWidth, std::max(kClientHeight, noteTop)));
    setWindowTitle(text(200));
    lblPortInstructions_->setText(text(201));
    lblPortAddress_->setText(text(202));
    OKButton_->setText(text(208));
    cmdCancel_->setText(text(209));

    OKButton_->setDefault(true);
    // No board, no choice: nothing that would pass for one is stored.
    OKButton_->setEnabled(cmbBoard_->currentIndex() >= 0);
    connect(cmbBoard_, &QComboBox::currentIndexChanged, this,
            [this](int index) { OKButton_->setEnabled(index >= 0); });
    connect(OKButton_, &QPushButton::clicked, this, &dlgPort::OKButton_Click);
    connect(cmdCancel_, &QPushButton::clicked, this, &dlgPort::cmdCancel_Click);
}

void dlgPort::OKButton_Click() {
    boards_.select(cmbBoard_->currentIndex());
    const int board = boards_.selectedBoard();
    if (board < 0)
        return;
    // The card another program drives stays its own; the board in use goes on being read.
    if (const QString why = claim_ ? claim_(static_cast<std::int16_t>(board)) : QString();
        !why.isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, kAppTitle, why + QStringLiteral(". ") + text(1304),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    if (!boards_.accept(state_, settings_))
        qWarning("QVR100PCI: could not store the setting PCIPort");
    accept();
}

void dlgPort::reject() {
    boards_.cancel();
    QDialog::reject();
}

} // namespace qvr
