// One row of the table of settings: a key path, its meaning, when a change
// applies, the member of Config it names and its rules.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>

#include "settings/config.h"
#include "settings/detail/table_detail.h"
#include "settings/rule.h"

namespace settings {

// One named setting. `member` maps a Config (const or not) to the setting's member.
template <typename Member, std::size_t RuleCount>
struct Setting {
    using Value = std::remove_cvref_t<std::invoke_result_t<const Member&, Config&>>;
    static constexpr ValueType type = detail::valueTypeOf<Value>();

    std::string_view keyPath;
    std::string_view meaning;
    Applies applies;
    Member member;
    std::array<Rule, RuleCount> rules;  // in order; only the first broken one is reported

    [[nodiscard]] constexpr std::string_view section() const { return detail::sectionOf(keyPath); }
    [[nodiscard]] constexpr std::string_view name() const { return detail::memberNameOf(keyPath); }
};

// A row of the table: key path, member, meaning, when a change applies, then the rules in order.
template <typename Member, typename... Rules>
constexpr auto setting(std::string_view keyPath, Member member, std::string_view meaning, Applies applies,
                       Rules... rules) {
    return Setting<Member, sizeof...(Rules)>{keyPath, meaning, applies, member, {rules...}};
}

}  // namespace settings
