#pragma once
// A value or the Error that kept it from being made (std::expected arrives
// only with C++23). Expected<void> is the result of an operation that only
// succeeds or fails: `return {};` is success.
#include <optional>
#include <type_traits>
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

template <class T, class E = Error>
class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    // `return Error(...)` and `return Unexpected{code}` both fail; a bare
    // std::error_code only through Unexpected, since 0 would mean success.
    Expected(E failure) requires(!std::is_same_v<T, E>) : state_(std::in_place_index<1>, std::move(failure)) {}
    template <class G>
    requires std::is_constructible_v<E, G> Expected(Unexpected<G> failure)
        : state_(std::in_place_index<1>, E(std::move(failure.error))) {}

    bool hasValue() const { return state_.index() == 0; }
    explicit operator bool() const { return hasValue(); }
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const E& error() const& { return std::get<1>(state_); }
    E&& error() && { return std::get<1>(std::move(state_)); }
    T valueOr(T fallback) const& { return hasValue() ? value() : std::move(fallback); }

private:
    std::variant<T, E> state_;
};

template <class E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    Expected(E failure) : failure_(std::move(failure)) {}
    template <class G>
    requires std::is_constructible_v<E, G> Expected(Unexpected<G> failure) : failure_(E(std::move(failure.error))) {}

    bool hasValue() const { return !failure_; }
    explicit operator bool() const { return hasValue(); }
    const E& error() const& { return *failure_; }
    E&& error() && { return *std::move(failure_); }

private:
    std::optional<E> failure_;
};

// A failure with errno `number` and no context, for the lowest helpers
// whose callers say what they were doing.
inline Unexpected<std::error_code> failedWith(int number) { return {errorOf(number)}; }

}  // namespace qf
