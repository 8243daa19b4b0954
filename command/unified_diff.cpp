// Myers' difference algorithm on lines: the shortest script of removals and
// additions, found in time (N + M) D for D differences, which an edit keeps
// small, and space D squared.
#include "unified_diff.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "settings/message_text.h"
#include "settings/text_lines.h"

namespace command {
namespace {

constexpr std::ptrdiff_t kContext = 3;

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

enum class Op { keep, remove, add };

// The script that turns `a` into `b`, one step a line.
std::vector<Op> script(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
    const auto n = std::ssize(a);
    const auto m = std::ssize(b);
    // For each number of differences d, the furthest x reached on each diagonal k = x - y in [-d, d].
    std::vector<std::vector<std::ptrdiff_t>> furthest;
    const auto at = [&](std::ptrdiff_t d, std::ptrdiff_t k) -> std::ptrdiff_t& {
        return furthest[static_cast<std::size_t>(d)][static_cast<std::size_t>(k + d)];
    };
    // Whether diagonal k at d is reached by an addition (down from k + 1) rather than a removal.
    const auto down = [&](std::ptrdiff_t d, std::ptrdiff_t k) {
        return k == -d || (k != d && at(d - 1, k - 1) < at(d - 1, k + 1));
    };
    std::ptrdiff_t d = 0;
    for (bool reached = false; !reached; ++d) {
        furthest.emplace_back(static_cast<std::size_t>(2 * d + 1));
        for (std::ptrdiff_t k = -d; k <= d && !reached; k += 2) {
            std::ptrdiff_t x = d == 0 ? 0 : down(d, k) ? at(d - 1, k + 1) : at(d - 1, k - 1) + 1;
            while (x < n && x - k < m && a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(x - k)]) {
                ++x;
            }
            at(d, k) = x;
            reached = x >= n && x - k >= m;
        }
    }
    // Back from the end: each difference, after the lines kept since it.
    std::vector<Op> steps;
    std::ptrdiff_t x = n;
    std::ptrdiff_t y = m;
    for (--d; d > 0; --d) {
        const std::ptrdiff_t k = x - y;
        const bool added = down(d, k);
        const std::ptrdiff_t fromX = added ? at(d - 1, k + 1) : at(d - 1, k - 1);
        const std::ptrdiff_t afterX = added ? fromX : fromX + 1;
        steps.insert(steps.end(), static_cast<std::size_t>(x - afterX), Op::keep);
        steps.push_back(added ? Op::add : Op::remove);
        x = fromX;
        y = fromX - (added ? k + 1 : k - 1);
    }
    steps.insert(steps.end(), static_cast<std::size_t>(x), Op::keep);
    std::reverse(steps.begin(), steps.end());
    return steps;
}

// A hunk's range as diff writes it: lines are numbered from 1, an empty range
// stands after the line before it, and a range of one line is its number alone.
std::string range(std::ptrdiff_t start, std::ptrdiff_t lines) {
    std::string text = settings::renderInteger(lines == 0 ? start : start + 1);
    if (lines != 1) {
        text.append(",").append(settings::renderInteger(lines));
    }
    return text;
}

}  // namespace

std::string unifiedDiff(std::string_view name, std::string_view before, std::string_view after) {
    if (before == after) {
        return {};
    }
    const std::vector<std::string_view> a = linesOf(before);
    const std::vector<std::string_view> b = linesOf(after);
    const std::vector<Op> steps = script(a, b);
    const std::string shownName = settings::terminalSafe(name);
    std::string out = settings::concatenate({"--- ", shownName, "\n+++ ", shownName, "\n"});
    // The lines of each step: in a, in b.
    std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> at;
    std::ptrdiff_t x = 0;
    std::ptrdiff_t y = 0;
    for (const Op op : steps) {
        at.emplace_back(x, y);
        x += op == Op::add ? 0 : 1;
        y += op == Op::remove ? 0 : 1;
    }
    // Terminal-safe, as all the command writes, but for the line's end, which is the line's own.
    const auto line = [](std::string_view text, char mark) {
        const std::size_t end = text.ends_with("\r\n") ? text.size() - 2
                                : text.ends_with('\n') ? text.size() - 1
                                                       : text.size();
        std::string shown = mark + settings::terminalSafe(text.substr(0, end)) + std::string(text.substr(end));
        return text.ends_with('\n') ? shown : shown + "\n\\ No newline at end of file\n";
    };
    const auto count = std::ssize(steps);
    for (std::ptrdiff_t first = 0; first < count;) {
        if (steps[static_cast<std::size_t>(first)] == Op::keep) {
            ++first;
            continue;
        }
        // A hunk: from kContext kept lines before the change to kContext after the last change that
        // is no more than 2 kContext kept lines from the one before.
        std::ptrdiff_t last = first;
        for (std::ptrdiff_t next = first; next < count && next - last <= 2 * kContext; ++next) {
            if (steps[static_cast<std::size_t>(next)] != Op::keep) {
                last = next;
            }
        }
        const std::ptrdiff_t begin = std::max<std::ptrdiff_t>(0, first - kContext);
        const std::ptrdiff_t end = std::min(count, last + kContext + 1);
        std::ptrdiff_t removed = 0;
        std::ptrdiff_t added = 0;
        std::string body;
        for (std::ptrdiff_t step = begin; step < end; ++step) {
            const Op op = steps[static_cast<std::size_t>(step)];
            const auto [inA, inB] = at[static_cast<std::size_t>(step)];
            removed += op == Op::add ? 0 : 1;
            added += op == Op::remove ? 0 : 1;
            body += op == Op::add ? line(b[static_cast<std::size_t>(inB)], '+')
                                  : line(a[static_cast<std::size_t>(inA)], op == Op::keep ? ' ' : '-');
        }
        const auto [fromA, fromB] = at[static_cast<std::size_t>(begin)];
        out.append("@@ -").append(range(fromA, removed)).append(" +").append(range(fromB, added)).append(" @@\n");
        out.append(body);
        first = end;
    }
    return out;
}

}  // namespace command
