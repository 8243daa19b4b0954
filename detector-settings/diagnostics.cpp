#include "diagnostics.h"

#include <utf8cpp/utf8.h>

#include <algorithm>
#include <iterator>

#include "settings/file.h"
#include "settings/validation.h"

namespace detector_settings {
namespace {

// Line `number` (1-based) of `text`, without its line end or a byte-order mark.
std::string_view sourceLine(std::string_view text, int number) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    for (int line = 1; line < number; ++line) {
        text.remove_prefix(std::min(text.find('\n'), text.size() - 1) + 1);
    }
    std::string_view line = text.substr(0, text.find('\n'));
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

// Blanks up to `column` (counted in characters, as positions are), keeping
// tabs so that the caret lines up under the source line, then the caret.
std::string caretLine(std::string_view line, int column) {
    std::string caret;
    int characters = 1;
    for (const char c : line) {
        if (characters >= column) {
            break;
        }
        if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) {
            caret += c == '\t' ? '\t' : ' ';
            ++characters;
        }
    }
    return caret + '^';
}

std::string jsonString(std::string_view text) {
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    return settings::quotedString(valid);
}

}  // namespace

std::string textDiagnostics(const CheckedFile& file) {
    std::string out;
    for (const settings::FileProblem& problem : file.problems) {
        if (problem.line == 0) {
            out.append(file.name).append(": error: ").append(problem.message).append("\n");
            continue;
        }
        out.append(file.name).append(":").append(settings::renderInteger(problem.line));
        out.append(":").append(settings::renderInteger(problem.column)).append(": error: ");
        out.append(problem.key).append(problem.key.empty() ? "" : ": ").append(problem.message).append("\n");
        const std::string_view line = sourceLine(file.text, problem.line);
        out.append(line).append("\n").append(caretLine(line, problem.column)).append("\n");
    }
    return out;
}

std::string jsonReport(const std::vector<CheckedFile>& files) {
    std::string out = R"({"files":[)";
    for (const CheckedFile& file : files) {
        out.append(&file == files.data() ? "" : ",").append(R"({"path":)").append(jsonString(file.name));
        out.append(R"(,"valid":)").append(file.problems.empty() ? "true" : "false").append(R"(,"diagnostics":[)");
        for (const settings::FileProblem& problem : file.problems) {
            out.append(&problem == file.problems.data() ? "" : ",");
            out.append(R"({"line":)").append(settings::renderInteger(problem.line));
            out.append(R"(,"column":)").append(settings::renderInteger(problem.column));
            out.append(R"(,"key":)").append(jsonString(problem.key));
            out.append(R"(,"rule":)").append(jsonString(problem.rule));
            out.append(R"(,"message":)").append(jsonString(problem.message)).append("}");
        }
        out.append("]}");
    }
    return out + "]}\n";
}

}  // namespace detector_settings
