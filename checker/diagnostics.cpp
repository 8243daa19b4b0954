#include "diagnostics.h"

#include <utf8.h>  // utfcpp

#include <algorithm>
#include <iterator>

#include "settings/internal/text.h"

namespace checker {
namespace {

constexpr std::string_view kCut = "...";

// Blanks as wide as `shown`, valid UTF-8 (tabs stay tabs, each character one
// column), so that what follows stands under the character after it.
std::string blanksUnder(std::string_view shown) {
    std::string blanks;
    for (std::string_view::const_iterator it = shown.begin(); it != shown.end();) {
        blanks += utf8::unchecked::next(it) == '\t' ? '\t' : ' ';
    }
    return blanks;
}

// The source line, or the part of it around `column` when it is long, and a
// caret under the column, each after a gutter with the line's number, as
// compilers show them: "    5 | bufferSizeMs = 0". The gutter also keeps a
// line of the file from starting as a diagnostic does.
std::string sourceWithCaret(const settings::TextLines& lines, int number, int column) {
    const std::string_view line = lines.line(number);
    const int length = lines.length(number);
    int first = 1;
    int last = length;
    if (length > kMaxShownCharacters) {
        first = std::clamp(column - kMaxShownCharacters / 3, 1, length - kMaxShownCharacters + 1);
        last = first + kMaxShownCharacters - 1;
    }
    const std::size_t from = lines.byteOffset(number, first);
    const std::size_t caret = lines.byteOffset(number, column);
    const std::size_t to = last < length ? lines.byteOffset(number, last + 1) : line.size();
    const std::string before =
        std::string(first > 1 ? kCut : "") + settings::terminalSafe(line.substr(from, caret - from));
    const std::string lineNumber = settings::renderInteger(number);
    constexpr std::size_t kGutterDigits = 5;
    const std::string gutter(kGutterDigits - std::min(kGutterDigits, lineNumber.size()), ' ');
    std::string out = gutter + lineNumber + " | " + before;
    out.append(settings::terminalSafe(line.substr(caret, to - caret))).append(last < length ? kCut : "");
    out.append("\n").append(gutter.size() + lineNumber.size(), ' ').append(" | ");
    return out.append(blanksUnder(before)).append("^\n");
}

std::string jsonString(std::string_view text) {
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    return settings::quotedString(valid);
}

}  // namespace

std::string textDiagnostic(std::string_view fileName, const settings::FileProblem& problem,
                           const settings::TextLines& lines) {
    std::string out = settings::terminalSafe(fileName);
    if (problem.line == 0) {
        return out.append(": error: ").append(settings::terminalSafe(problem.message)).append("\n");
    }
    out.append(":").append(settings::renderInteger(problem.line));
    out.append(":").append(settings::renderInteger(problem.column)).append(": error: ");
    if (!problem.key.empty()) {
        out.append(settings::terminalSafe(problem.key)).append(": ");
    }
    out.append(settings::terminalSafe(problem.message)).append("\n");
    return out.append(sourceWithCaret(lines, problem.line, problem.column));
}

std::string jsonFileReport(std::string_view fileName, const std::vector<settings::FileProblem>& problems) {
    std::string out = R"({"path":)";
    out.append(jsonString(fileName)).append(R"(,"valid":)").append(problems.empty() ? "true" : "false");
    out.append(R"(,"diagnostics":[)");
    for (const settings::FileProblem& problem : problems) {
        out.append(&problem == problems.data() ? "" : ",");
        out.append(R"({"line":)").append(settings::renderInteger(problem.line));
        out.append(R"(,"column":)").append(settings::renderInteger(problem.column));
        out.append(R"(,"key":)").append(jsonString(problem.key));
        out.append(R"(,"rule":)").append(jsonString(settings::problemKindName(problem.kind)));
        out.append(R"(,"message":)").append(jsonString(problem.message)).append("}");
    }
    return out.append("]}");
}

}  // namespace checker
