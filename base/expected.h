#pragma once
// A value or the reason there is none. Functions that only succeed or fail
// return a plain std::error_code; those that also produce something return
// Expected<T> (std::expected arrives only with C++23).
#include <utility>
#include <variant>

#include "base/error.h"

namespace qf {

template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected(E) -> Unexpected<E>;

template <class T, class E = std::error_code>
class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool hasValue() const { return state_.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const E& error() const { return std::get<1>(state_); }
    T valueOr(T fallback) const& { return hasValue() ? value() : std::move(fallback); }

private:
    std::variant<T, E> state_;
};

inline Unexpected<std::error_code> failedWith(int number) { return {errorOf(number)}; }

}  // namespace qf
