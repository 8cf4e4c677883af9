#include "base/error.h"

namespace qf {
namespace {

class QuillfindCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "quillfind"; }
    std::string message(int value) const override {
        switch (static_cast<Errc>(value)) {
            case Errc::invalidInput:
                return "invalid input";
            case Errc::badData:
                return "malformed data";
            case Errc::refused:
                return "refused";
            case Errc::unavailable:
                return "not available";
        }
        return "unknown failure " + std::to_string(value);
    }
};

}  // namespace

const std::error_category& quillfindCategory() {
    static const QuillfindCategory category;
    return category;
}

std::string Error::message() const {
    if (context_.empty()) return code_.message();
    if (code_.category() == quillfindCategory()) return context_;
    return context_ + ": " + code_.message();
}

Error Error::within(std::string_view outer) && {
    context_ = context_.empty() ? std::string(outer) : std::string(outer) + ": " + context_;
    return std::move(*this);
}

}  // namespace qf
