#pragma once
// A reader that serves scripted items: the same items every time, with A taking the next of
// the given texts at each awaited reading, and before a reading any changes scripted for it.
// A wavelength command shows the wavelength it names, or is refused as scripted.

#include "dose/link/ReaderSource.h"

#include <QStringList>

namespace qvr::dose::test {

class FakeReader : public ReaderSource {
public:
    // changes: by the index of a reading (0 the first), items that change before it is served.
    FakeReader(ReaderItems items, QStringList absorbances, QMap<int, ReaderItems> changes = {})
        : items_(std::move(items)), absorbances_(std::move(absorbances)),
          changes_(std::move(changes)) {}

    Outcome<ReaderItems> items() override { return items_; }
    Outcome<ReaderItems> nextReading(int) override {
        if (absorbances_.isEmpty())
            return Failure{QStringLiteral("the reader wrote no absorbance")};
        const ReaderItems change = changes_.value(served_++);
        for (auto it = change.begin(); it != change.end(); ++it)
            items_.insert(it.key(), it.value());
        items_.insert(QStringLiteral("A"), absorbances_.takeFirst());
        return items_;
    }
    Outcome<Done> selectWavelength(bool secondary) override {
        const int call = selected.size();
        selected << (secondary ? QStringLiteral("secondary") : QStringLiteral("primary"));
        if (refusals.contains(call))
            return Failure{refusals.value(call)};
        items_.insert(QStringLiteral("WL"),
                      items_.value(secondary ? QStringLiteral("lblA2") : QStringLiteral("lblA1")));
        return Done{};
    }

    QStringList selected;        // the wavelength commands taken, in order
    QMap<int, QString> refusals; // by the index of a command: the reader's refusal

private:
    ReaderItems items_;
    QStringList absorbances_;
    QMap<int, ReaderItems> changes_;
    int served_ = 0;
};

// A simulated reader fit to read: head 1234 at 600 nm (its second wavelength), film in, no
// fault, zeroed once.
inline ReaderItems readyItems() {
    return {{"State", "reading"},   {"Fault", ""},       {"Simulated", true},
            {"lblPresent", "Film"}, {"WL", "600 nm"},    {"lblSN", "1234"},
            {"lblZero", "1.9876"},  {"A", " 1.000"},     {"Zeros", "1"},
            {"lblA1", "510 nm"},    {"lblA2", "600 nm"}, {kOwnerItem, ":1.7"}};
}

} // namespace qvr::dose::test
