// Values at the edges of the members' types, which the tests of the validator
// and of the texts share.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace settings::test {

inline constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
inline const float kNaN = std::numeric_limits<float>::quiet_NaN();
inline const float kInf = std::numeric_limits<float>::infinity();
inline const float kAboveOne = std::nextafter(1.0F, 2.0F);  // the smallest float above 1
inline const float kDenormalMin = std::numeric_limits<float>::denorm_min();

}  // namespace settings::test
