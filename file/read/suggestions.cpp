// Suggestions for names that name no setting: the known one closest to what
// was written, by a bounded count of edits.
#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "file/base/internal/characters.h"
#include "file/read/internal/settings_reader.h"
#include "settings/message_text.h"
#include "settings/table.h"

namespace settings::file_internal {
namespace {

constexpr std::string_view kUnknownSetting = "unknown setting";
constexpr std::string_view kDidYouMean = "; did you mean ";

constexpr std::size_t kMaxEdits = 2;  // a key further than this from every known one gets no suggestion

// Edits (insertions, deletions, substitutions) from a key to a known key or
// section, ignoring ASCII case, counted up to kMaxEdits; more give
// kMaxEdits + 1. A key is measured only when its length is within kMaxEdits
// of the known one's, and only until every prefix of it is further off than
// that: one row on the stack serves, and a long key costs no more than
// reading it.
constexpr std::size_t kEditRowSize = 64;
static_assert(std::all_of(kKeyPaths.begin(), kKeyPaths.end(),
                          [](std::string_view key) { return key.size() < kEditRowSize; }));

std::size_t editsUpToTheMost(std::string_view unknown, std::string_view known) {
    constexpr std::size_t kFar = kMaxEdits + 1;
    if (std::max(unknown.size(), known.size()) - std::min(unknown.size(), known.size()) > kMaxEdits) {
        return kFar;
    }
    std::array<std::size_t, kEditRowSize> row{};  // edits from a prefix of `unknown` to each prefix of `known`
    for (std::size_t j = 0; j <= known.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= unknown.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        std::size_t closest = row[0];
        for (std::size_t j = 1; j <= known.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min(
                {above + 1, row[j - 1] + 1, diagonal + (foldCase(unknown[i - 1]) == foldCase(known[j - 1]) ? 0 : 1)});
            diagonal = above;
            closest = std::min(closest, row[j]);
        }
        if (closest > kMaxEdits) {
            return kFar;
        }
    }
    return std::min(row[known.size()], kFar);
}

}  // namespace

// The known key closest to an unknown one, if any is close: the same key in
// another case, the same member under another section, or up to kMaxEdits
// edits away.
std::optional<std::string_view> closestKey(std::string_view unknown, bool sections) {
    std::optional<std::string_view> best;
    std::size_t bestScore = kMaxEdits + 2;  // scores above kMaxEdits + 1 are not close
    const auto consider = [&](std::string_view candidate) {
        const std::size_t edits = editsUpToTheMost(unknown, candidate);
        const bool sameMember = equalIgnoringCase(detail::memberNameOf(unknown), detail::memberNameOf(candidate));
        const std::size_t score = edits == 0 ? 0 : sameMember ? 1 : edits + 1;
        if (score < bestScore) {
            best = candidate;
            bestScore = score;
        }
    };
    std::for_each(kKeyPaths.begin(), kKeyPaths.end(), consider);
    if (sections) {
        std::for_each(kSections.begin(), kSections.end(), consider);
    }
    return best;
}

std::string unknownSettingMessage(std::optional<std::string_view> suggestion) {
    if (!suggestion) {
        return std::string(kUnknownSetting);
    }
    return concatenate({kUnknownSetting, kDidYouMean, *suggestion, "?"});
}

std::optional<std::size_t> closestName(std::string_view unknown, std::span<const std::string> names) {
    std::optional<std::size_t> best;
    std::size_t bestEdits = kMaxEdits + 1;
    for (std::size_t index = 0; index < names.size(); ++index) {
        const std::size_t edits =
            names[index].size() < kEditRowSize ? editsUpToTheMost(unknown, names[index]) : kMaxEdits + 1;
        if (edits < bestEdits) {
            best = index;
            bestEdits = edits;
        }
    }
    return best;
}

}  // namespace settings::file_internal
