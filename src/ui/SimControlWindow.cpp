#include "ui/SimControlWindow.h"

#include "daq/sim/SimCard.h"
#include "link/text/LinkText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace qvr::sim {

namespace {

QDoubleSpinBox* spinBox(const char* name, double lo, double hi, double step, int decimals) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(lo, hi);
    box->setSingleStep(step);
    box->setDecimals(decimals);
    box->setKeyboardTracking(false); // one change per finished entry, not per keystroke
    return box;
}

// As wide as the widest text it shows, so that no text of it is ever cut.
QLabel* indicator(const char* name, const QStringList& texts) {
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(name));
    label->setFrameShape(QFrame::StyledPanel);
    label->setAlignment(Qt::AlignCenter);
    int widest = 0;
    for (const QString& t : texts)
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(t));
    label->setMinimumWidth(widest + 2 * label->fontMetrics().averageCharWidth() +
                           2 * label->frameWidth());
    return label;
}

void showLine(QLabel* label, bool active, const QString& text) {
    label->setText(text);
    label->setStyleSheet(active ? QStringLiteral("background: #ffd54f; color: black;") : QString());
}

// The wavelength field of a record ("510"), or the empty text when it is not three digits.
QString recordWavelength(const QByteArray& record, int index) {
    const QByteArray field = record.mid(13 + 3 * index, 3);
    for (char c : field)
        if (c < '0' || c > '9')
            return {};
    return field.size() == 3 ? QString::fromLatin1(field) : QString();
}

void setValue(QDoubleSpinBox* box, double v) {
    if (box->value() != v) {
        const QSignalBlocker block(box);
        box->setValue(v);
    }
}

} // namespace

SimControlWindow::SimControlWindow(SimCard& card, QWidget* parent)
    : QWidget(parent, Qt::Window), card_(card) {
    setWindowTitle(QStringLiteral("Reader head simulator"));
    setObjectName(QStringLiteral("simControlWindow"));

    // Holder
    auto* holderBox = new QGroupBox(QStringLiteral("Holder in the head"));
    holderFilm_ = new QRadioButton(QStringLiteral("Film holder"));
    holderFilm_->setObjectName(QStringLiteral("holderFilm"));
    holderFilter_ = new QRadioButton(QStringLiteral("Filter holder"));
    holderFilter_->setObjectName(QStringLiteral("holderFilter"));
    auto* holders = new QButtonGroup(this);
    holders->addButton(holderFilm_);
    holders->addButton(holderFilter_);
    auto* holderRow = new QHBoxLayout(holderBox);
    holderRow->addWidget(holderFilm_);
    holderRow->addWidget(holderFilter_);

    // Film
    auto* filmBox = new QGroupBox(QStringLiteral("Film"));
    auto* filmForm = new QFormLayout(filmBox);
    filmPresent_ = new QCheckBox(QStringLiteral("Film in the holder"));
    filmPresent_->setObjectName(QStringLiteral("filmPresent"));
    filmForm->addRow(filmPresent_);
    for (int i = 0; i < 2; ++i) {
        filmOd_[i] = spinBox(i == 0 ? "filmOd1" : "filmOd2", 0, 10, 0.05, 3);
        filmOdLabel_[i] = new QLabel;
        filmForm->addRow(filmOdLabel_[i], filmOd_[i]);
    }

    // Filters: one click puts a filter in, as a hand would.
    auto* filterBox = new QGroupBox(QStringLiteral("Neutral density filter in the holder"));
    auto* filterColumn = new QVBoxLayout(filterBox);
    filters_ = new QButtonGroup(this);
    const auto& od = card_.conditions().filters.od;
    const QString filterTexts[] = {
        QStringLiteral("None"),
        QStringLiteral("Light (od %1)").arg(od[0], 0, 'f', 3),
        QStringLiteral("Medium (od %1)").arg(od[1], 0, 'f', 3),
        QStringLiteral("Dark (od %1)").arg(od[2], 0, 'f', 3),
    };
    const char* filterNames[] = {"filterNone", "filterLight", "filterMedium", "filterDark"};
    for (int i = 0; i < 4; ++i) {
        auto* choice = new QRadioButton(filterTexts[i]);
        choice->setObjectName(QLatin1String(filterNames[i]));
        filters_->addButton(choice, i);
        filterColumn->addWidget(choice);
    }

    // Light source and converter
    auto* lightBox = new QGroupBox(QStringLiteral("Lamp and detector"));
    auto* lightForm = new QFormLayout(lightBox);
    lamp_ = spinBox("lamp", -5, 5, 0.05, 3);
    noise_ = spinBox("noise", 0, 1000, 0.5, 2);
    lightForm->addRow(QStringLiteral("Lamp (clear path reading):"), lamp_);
    lightForm->addRow(QStringLiteral("Noise (counts):"), noise_);
    button_ = new QPushButton(QStringLiteral("Hold down the head's push button"));
    button_->setObjectName(QStringLiteral("pushButton"));
    lightForm->addRow(button_);

    // Lines the program drives
    auto* linesBox = new QGroupBox(QStringLiteral("Lines from the program"));
    auto* linesGrid = new QGridLayout(linesBox);
    led_ = indicator("ledIndicator", {QStringLiteral("LED off")});
    buzzer_ = indicator("buzzerIndicator", {QStringLiteral("Buzzer off")});
    wavelength_ = indicator("wavelengthIndicator", {QStringLiteral("Second wavelength (000 nm)")});
    chipSelect_ = indicator("chipSelectIndicator",
                            {QStringLiteral("EEPROM selected"), QStringLiteral("EEPROM released")});
    linesGrid->addWidget(led_, 0, 0);
    linesGrid->addWidget(buzzer_, 0, 1);
    linesGrid->addWidget(wavelength_, 1, 0);
    linesGrid->addWidget(chipSelect_, 1, 1);

    // What the head carries
    auto* recordBox = new QGroupBox(QStringLiteral("Head record"));
    auto* recordLayout = new QVBoxLayout(recordBox);
    record_ = new QLineEdit;
    record_->setObjectName(QStringLiteral("record"));
    record_->setReadOnly(true);
    record_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    record_->setMinimumWidth(QFontMetrics(record_->font()).horizontalAdvance(QString(64, '0')));
    faults_ = new QLabel;
    faults_->setObjectName(QStringLiteral("faults"));
    faults_->setWordWrap(true);
    recordLayout->addWidget(record_);
    recordLayout->addWidget(faults_);

    // Two columns, so that the window stays small beside the main window; on a screen too
    // small for it (large scale factors) it scrolls rather than leaving the screen.
    content_ = new QWidget;
    auto* top = new QGridLayout(content_);
    auto* marker = new QLabel(QStringLiteral("Simulated card and head: no real readings."));
    marker->setStyleSheet(QStringLiteral("font-weight: bold;"));
    top->addWidget(marker, 0, 0, 1, 2);
    top->addWidget(holderBox, 1, 0);
    top->addWidget(filmBox, 2, 0);
    top->addWidget(lightBox, 3, 0);
    top->addWidget(filterBox, 1, 1, 2, 1);
    top->addWidget(linesBox, 3, 1);
    top->addWidget(recordBox, 4, 0, 1, 2);
    top->setRowStretch(5, 1);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content_);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    connect(holderFilm_, &QRadioButton::toggled, this,
            [this](bool on) { card_.setHolder(on ? Holder::Film : Holder::Filter); });
    connect(filmPresent_, &QCheckBox::toggled, this, [this](bool on) { card_.setFilmPresent(on); });
    for (int i = 0; i < 2; ++i)
        connect(filmOd_[i], &QDoubleSpinBox::valueChanged, this,
                [this, i](double v) { card_.setFilmOd(i, v); });
    connect(filters_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            card_.setFilterInserted(static_cast<Filter>(id));
    });
    connect(lamp_, &QDoubleSpinBox::valueChanged, this, [this](double v) { card_.setLamp(v); });
    connect(noise_, &QDoubleSpinBox::valueChanged, this, [this](double v) { card_.setNoise(v); });
    connect(button_, &QPushButton::pressed, this, [this] { card_.setButtonHeld(true); });
    connect(button_, &QPushButton::released, this, [this] { card_.setButtonHeld(false); });

    // Driven by the card's own notices: nothing here polls.
    connect(&card_, &SimCard::linesChanged, this, &SimControlWindow::refreshLines);
    connect(&card_, &SimCard::conditionsChanged, this, &SimControlWindow::refreshConditions);
    refreshConditions();
    refreshLines();
}

QSize SimControlWindow::sizeHint() const {
    return content_->sizeHint();
}

void SimControlWindow::refreshLines() {
    const QString& wl = wavelengths_[card_.secondWavelength() ? 1 : 0];
    showLine(led_, card_.ledOn(),
             card_.ledOn() ? QStringLiteral("LED on") : QStringLiteral("LED off"));
    showLine(buzzer_, card_.buzzerOn(),
             card_.buzzerOn() ? QStringLiteral("Buzzer on") : QStringLiteral("Buzzer off"));
    showLine(wavelength_, card_.secondWavelength(),
             (card_.secondWavelength() ? QStringLiteral("Second wavelength")
                                       : QStringLiteral("First wavelength")) +
                 (wl.isEmpty() ? QString() : QStringLiteral(" (%1 nm)").arg(wl)));
    showLine(chipSelect_, card_.chipSelected(),
             card_.chipSelected() ? QStringLiteral("EEPROM selected")
                                  : QStringLiteral("EEPROM released"));
}

void SimControlWindow::refreshConditions() {
    const Scenario& s = card_.conditions();
    {
        const QSignalBlocker a(holderFilm_), b(holderFilter_);
        holderFilm_->setChecked(s.holder == Holder::Film);
        holderFilter_->setChecked(s.holder == Holder::Filter);
    }
    if (filmPresent_->isChecked() != s.film.present) {
        const QSignalBlocker block(filmPresent_);
        filmPresent_->setChecked(s.film.present);
    }
    const QByteArray rec = card_.record();
    for (int i = 0; i < 2; ++i) {
        setValue(filmOd_[i], s.film.od[static_cast<std::size_t>(i)]);
        const QString& wl = wavelengths_[i] = recordWavelength(rec, i);
        filmOdLabel_[i]->setText(
            QStringLiteral("Od at the %1 wavelength%2:")
                .arg(i == 0 ? QStringLiteral("first") : QStringLiteral("second"),
                     wl.isEmpty() ? QString() : QStringLiteral(" (%1 nm)").arg(wl)));
    }
    if (QAbstractButton* inserted = filters_->button(static_cast<int>(s.filters.inserted));
        inserted && !inserted->isChecked()) {
        const QSignalBlocker block(filters_);
        inserted->setChecked(true);
    }
    setValue(lamp_, s.lamp);
    setValue(noise_, s.noise);
    if (!button_->isDown())
        button_->setText(s.button ? QStringLiteral("Push button held (by the scenario)")
                                  : QStringLiteral("Hold down the head's push button"));
    // As the program serves it in lblEEPROM.
    record_->setText(toLinkText(QString::fromLatin1(rec)));
    record_->setCursorPosition(0);

    QStringList active;
    const Faults& f = s.faults;
    for (int k = 0; k < kCallKinds; ++k)
        if (f.failEvery[static_cast<std::size_t>(k)] > 0)
            active << QStringLiteral("%1 fails 1 in %2")
                          .arg(QLatin1String(callName(static_cast<CallKind>(k))))
                          .arg(f.failEvery[static_cast<std::size_t>(k)]);
    if (f.noBoard)
        active << QStringLiteral("no board");
    if (f.otherModel)
        active << QStringLiteral("another board model");
    if (f.blankEeprom)
        active << QStringLiteral("blank EEPROM");
    if (f.doStuck >= 0)
        active << QStringLiteral("DO port bit stuck at %1").arg(f.doStuck);
    if (f.deadConverter)
        active << QStringLiteral("dead converter");
    if (f.disconnected)
        active << QStringLiteral("head disconnected");
    // The spin boxes show the film's own od; what the path sees differs by the damage.
    for (std::size_t i = 0; i < 2; ++i)
        if (s.film.damage[i] != 0)
            active << QStringLiteral("damaged film, od %1%2 at the %3 wavelength")
                          .arg(s.film.damage[i] > 0 ? QStringLiteral("+") : QString())
                          .arg(s.film.damage[i], 0, 'f', 3)
                          .arg(wavelengths_[i].isEmpty()
                                   ? (i == 0 ? QStringLiteral("first") : QStringLiteral("second"))
                                   : wavelengths_[i] + QStringLiteral(" nm"));
    faults_->setText(QStringLiteral("Faults: %1")
                         .arg(active.isEmpty() ? QStringLiteral("none") : active.join(", ")));
    refreshLines(); // the record's wavelengths may have changed
}

} // namespace qvr::sim
