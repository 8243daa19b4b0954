// What a settings file is, as the writer's header comment and the schema's
// title say it. Internal to the settings-file library.
#pragma once

#include <string_view>

namespace settings::file_internal::format {

// What a settings file is, as its header comment and the schema's title say.
inline constexpr std::string_view kTitle = "Settings of the audio-event detector";
inline constexpr std::string_view kLeftOut = "A setting left out keeps its default.";

}  // namespace settings::file_internal::format
