#pragma once
// The labels of the main window as one observable model of named texts.
// Writing is cheap (an array store and a dirty bit); observers hear of the changes once per
// return to the event loop, with the latest text of each label written since.

#include <QObject>
#include <QString>
#include <array>
#include <optional>

namespace qvr {

enum class Label : int {
    // display area
    WL,
    A,
    // hidden
    lblA1,
    lblA2,
    na,
    nb,
    nc,
    // diagnostics panel
    Label1,
    lblModel,
    lblADC,
    lblSN,
    lblZero,
    lblWL1,
    lblVolt,
    lblWL2,
    lblPresent,
    lblGain,
    lblButton,
    lblRegGain,
    Label2,
    lblEEPROM,
    // no widget: the reader's phase, its fault and what it asks of the user or warns about
    // (core/FaultState)
    State,
    Fault,
    Notice,
    // no widget: how many zeros the reader has taken since it started (measure/Measurement), so
    // a client knows whether two readings share one zero
    Zeros,
    Count
};

inline constexpr int kLabelCount = static_cast<int>(Label::Count);

// Set of labels, one bit per label.
using LabelSet = quint32;
inline constexpr LabelSet bit(Label l) {
    return LabelSet(1) << static_cast<int>(l);
}

// What a label shows for a value that was not read (a switch or record the card did not give).
inline const QString kNotReadText = QStringLiteral("\u2014");

class LabelModel : public QObject {
    Q_OBJECT
public:
    explicit LabelModel(QObject* parent = nullptr);

    const QString& text(Label l) const { return texts_[static_cast<int>(l)]; }

    // Every write counts as a change, also one with the same text: a linked client sees each
    // reading, not only the ones that differ from the last.
    void set(Label l, const QString& text) {
        texts_[static_cast<int>(l)] = text;
        markWritten(l);
    }

    // The label's name as the window and the link source know it ("A", "lblADC", ...).
    static QString name(Label l);
    static std::optional<Label> find(const QString& name);

    // Delivers pending changes now instead of at the next return to the event loop.
    void flush();

signals:
    // The labels written since the last notification; read their texts with text().
    void changed(qvr::LabelSet labels);

private:
    void markWritten(Label l) {
        const bool wasIdle = dirty_ == 0;
        dirty_ |= bit(l);
        if (wasIdle)
            scheduleFlush();
    }
    void scheduleFlush();

    std::array<QString, kLabelCount> texts_;
    LabelSet dirty_ = 0;
    bool flushQueued_ = false;
};

} // namespace qvr
