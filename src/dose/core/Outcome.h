#pragma once
// A value or the one-line reason there is none. Nothing is ever computed from a failed call:
// the value is only reachable after checking.

#include <QString>
#include <optional>
#include <utility>

namespace qvr::dose {

struct Failure {
    QString text;
};

template <class T> class Outcome {
public:
    Outcome(T value) : value_(std::move(value)) {}
    Outcome(Failure failure) : error_(std::move(failure.text)) {}

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return &*value_; }
    T* operator->() { return &*value_; }
    const QString& error() const { return error_; }

private:
    std::optional<T> value_;
    QString error_;
};

// For calls that give nothing back but may fail.
struct Done {};

} // namespace qvr::dose
