#pragma once
// A reader that serves scripted items: the same items every time, with A taking the next of
// the given texts at each awaited reading.

#include "dose/link/ReaderSource.h"

#include <QStringList>

namespace qvr::dose::test {

class FakeReader : public ReaderSource {
public:
    FakeReader(ReaderItems items, QStringList absorbances)
        : items_(std::move(items)), absorbances_(std::move(absorbances)) {}

    Outcome<ReaderItems> items() override { return items_; }
    Outcome<ReaderItems> nextReading(int) override {
        if (absorbances_.isEmpty())
            return Failure{QStringLiteral("the reader wrote no absorbance")};
        items_.insert(QStringLiteral("A"), absorbances_.takeFirst());
        return items_;
    }

private:
    ReaderItems items_;
    QStringList absorbances_;
};

// A simulated reader fit to read: head 1234 at 600 nm, film in, no fault.
inline ReaderItems readyItems() {
    return {{"State", "reading"}, {"Fault", ""},     {"Simulated", true},   {"lblPresent", "Film"},
            {"WL", "600 nm"},     {"lblSN", "1234"}, {"lblZero", "1.9876"}, {"A", " 1.000"}};
}

} // namespace qvr::dose::test
