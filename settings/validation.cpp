#include "settings/validation.h"

#include <type_traits>

#include "settings/message_text.h"

namespace settings {
namespace {

// Built straight into the optional that validate returns, so that validate's
// valid path keeps no room for a temporary error.
template <typename Row>
std::optional<ValidationError> errorFor(const Row& row, const Rule& rule, const typename Row::Value& value) {
    std::string field(row.keyPath);
    if constexpr (std::is_integral_v<typename Row::Value>) {
        return ValidationError{std::move(field), ruleMessage(rule, Row::type, renderInteger(value))};
    } else if constexpr (std::is_floating_point_v<typename Row::Value>) {
        return ValidationError{std::move(field), ruleMessage(rule, Row::type, renderReal(value))};
    } else {
        return ValidationError{std::move(field), ruleMessage(rule, Row::type, {})};
    }
}

// The first broken rule from row `Row` on. Returning from each row, rather than
// assigning a result, keeps the valid path as short as a hand-written chain.
template <std::size_t Row = 0>
std::optional<ValidationError> firstError(const Config& config) {
    if constexpr (Row == kSettingCount) {
        return std::nullopt;
    } else {
        const auto& row = std::get<Row>(kSettings);
        const auto& value = row.member(config);
        if (const Rule* broken = detail::firstBrokenRule(row, value)) {
            return errorFor(row, *broken, value);
        }
        return firstError<Row + 1>(config);
    }
}

}  // namespace

std::optional<ValidationError> validate(const Config& config) { return firstError(config); }

std::vector<ValidationError> validateAll(const Config& config) {
    std::vector<ValidationError> errors;
    forEachSetting([&](const auto& row) {
        const auto& value = row.member(config);
        if (const Rule* broken = detail::firstBrokenRule(row, value)) {
            errors.push_back(*errorFor(row, *broken, value));
        }
    });
    return errors;
}

}  // namespace settings
