#include "diagnostics.h"

#include <utf8.h>  // utfcpp

#include <algorithm>
#include <array>
#include <filesystem>

#include "output.h"
#include "run.h"
#include "settings/message_text.h"

namespace command {
namespace {

constexpr std::string_view kCut = "...";
constexpr std::string_view kSarifSchema = "https://json.schemastore.org/sarif-2.1.0.json";

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

// "KEY: MESSAGE", or the message alone where there is no key.
std::string keyAndMessage(const settings::FileProblem& problem) {
    return problem.key.empty() ? problem.message : settings::concatenate({problem.key, ": ", problem.message});
}

constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// A path as a URI reference: relative paths stay relative, absolute ones
// ("/etc/...", and on Windows "C:/...") become file URIs; "/" separates parts, and what a URI
// cannot hold is percent-encoded (UTF-8 bytes included).
std::string uriOf(std::string_view path) {
    constexpr bool kWindowsPaths = std::filesystem::path::preferred_separator == '\\';
    std::string slashed(path);
    if constexpr (kWindowsPaths) {
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
    }
    std::string uri;
    if (slashed.starts_with('/')) {
        uri = "file://";
    }
    std::string_view rest = slashed;
    // Only Windows paths have drives and separate parts with backslashes;
    // elsewhere both are characters of a name.
    if constexpr (kWindowsPaths) {
        if (slashed.size() >= 2 && slashed[1] == ':' && kLetters.find(slashed[0]) != std::string_view::npos) {
            uri = "file:///" + slashed.substr(0, 2);
            rest.remove_prefix(2);
        }
    }
    constexpr std::string_view kHex = "0123456789ABCDEF";
    constexpr std::string_view kDigitsAndMarks = "0123456789-._~/";
    for (const char c : rest) {
        const auto byte = static_cast<unsigned char>(c);
        if (kLetters.find(c) != std::string_view::npos || kDigitsAndMarks.find(c) != std::string_view::npos) {
            uri += c;
        } else {
            uri.append({'%', kHex[byte >> 4U], kHex[byte & 0xFU]});
        }
    }
    return uri;
}

// GitHub's workflow commands escape "%", CR and LF in every part, and ":" and
// "," in properties as well; GitHub undoes them, so that a file's name stays
// the name it attaches the annotation to.
std::string githubEscaped(std::string_view text, bool property) {
    std::string escaped;
    for (const char c : text) {
        if (c == '%') {
            escaped += "%25";
        } else if (c == '\r') {
            escaped += "%0D";
        } else if (c == '\n') {
            escaped += "%0A";
        } else if (property && c == ':') {
            escaped += "%3A";
        } else if (property && c == ',') {
            escaped += "%2C";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// The diagnostic of `problem`, from `source`, with the line of `fileLines` it stands at.
std::string diagnosticText(const settings::Source& source, const settings::FileProblem& problem,
                           const settings::TextLines& fileLines, CommandLineNames names) {
    std::string out = originText(source, problem.line, problem.column, names);
    out.append(": ")
        .append(settings::severityName(problem.severity))
        .append(": ")
        .append(settings::terminalSafe(keyAndMessage(problem)))
        .append("\n");
    if (problem.line > 0) {
        out.append(sourceWithCaret(fileLines, problem.line, problem.column));
    }
    return out;
}

}  // namespace

void writeValue(settings::JsonWriter& json, std::string_view toml) {
    if (toml.ends_with("nan") || toml.ends_with("inf")) {
        json.string(toml);
    } else {
        json.raw(toml);
    }
}

std::string originText(const settings::Source& source, int line, int column, CommandLineNames names) {
    if (source.kind == settings::SourceKind::defaults) {
        return "default";
    }
    if (source.kind == settings::SourceKind::commandLine) {
        return settings::terminalSafe(names == CommandLineNames::asSetOption ? "--set " + source.name : source.name);
    }
    std::string text = settings::terminalSafe(source.name);
    if (line > 0) {
        text.append(":").append(settings::renderInteger(line)).append(":").append(settings::renderInteger(column));
    }
    return text;
}

std::string textDiagnostic(std::string_view fileName, const settings::FileProblem& problem,
                           const settings::TextLines& lines) {
    return diagnosticText({settings::SourceKind::file, std::string(fileName)}, problem, lines,
                          CommandLineNames::asSetOption);
}

std::string textDiagnostic(const settings::SourcedProblem& problem, const settings::TextLines& fileLines,
                           CommandLineNames names) {
    return diagnosticText(problem.source, problem.problem, fileLines, names);
}

void writeDiagnostics(settings::JsonWriter& json, const std::vector<settings::SourcedProblem>& problems) {
    json.beginArray();
    for (const auto& [source, problem] : problems) {
        json.beginObject().key("line").number(problem.line).key("column").number(problem.column);
        json.key("key").string(problem.key).key("rule").string(settings::problemKindName(problem.kind));
        json.key("severity").string(settings::severityName(problem.severity)).key("message").string(problem.message);
        json.key("origin").beginObject().key("kind").string(settings::sourceKindName(source.kind));
        json.key("name").string(source.name).endObject().endObject();
    }
    json.endArray();
}

std::string jsonFileReport(std::string_view fileName, const std::vector<settings::SourcedProblem>& problems) {
    settings::JsonWriter json;
    json.beginObject().key("path").string(fileName).key("valid").boolean(!settings::anyError(problems));
    json.key("diagnostics");
    writeDiagnostics(json, problems);
    return json.endObject().take();
}

std::string sarifLogStart(std::string_view toolVersion) {
    // The log is left open: results follow, file by file.
    settings::JsonWriter json;
    json.beginObject().key("version").string("2.1.0").key("$schema").string(kSarifSchema);
    json.key("runs").beginArray().beginObject().key("tool").beginObject().key("driver").beginObject();
    json.key("name").string(kProgram).key("version").string(toolVersion).key("rules").beginArray();
    constexpr std::array kKinds = {settings::ProblemKind::equals,  settings::ProblemKind::nonEmpty,
                                   settings::ProblemKind::range,   settings::ProblemKind::powerOfTwo,
                                   settings::ProblemKind::unknown, settings::ProblemKind::type,
                                   settings::ProblemKind::syntax,  settings::ProblemKind::file};
    for (const settings::ProblemKind kind : kKinds) {
        json.beginObject().key("id").string(settings::problemKindName(kind)).endObject();
    }
    json.endArray().endObject().endObject().key("columnKind").string("unicodeCodePoints").key("results");
    return json.take("[");
}

std::string sarifResults(const std::vector<settings::SourcedProblem>& problems) {
    settings::JsonWriter json;
    json.beginArray();
    for (const auto& [source, problem] : problems) {
        json.beginObject().key("ruleId").string(settings::problemKindName(problem.kind));
        json.key("level").string(settings::severityName(problem.severity));
        json.key("message").beginObject().key("text").string(keyAndMessage(problem)).endObject();
        json.key("locations").beginArray().beginObject();
        if (source.kind == settings::SourceKind::file) {
            json.key("physicalLocation").beginObject();
            json.key("artifactLocation").beginObject().key("uri").string(uriOf(source.name)).endObject();
            if (problem.line > 0) {
                json.key("region").beginObject().key("startLine").number(problem.line);
                json.key("startColumn").number(problem.column).endObject();
            }
            json.endObject();
        } else {
            json.key("logicalLocations").beginArray().beginObject().key("name").string(originText(source, 0, 0));
            json.key("kind").string(source.kind == settings::SourceKind::environment ? "variable" : "parameter");
            json.endObject().endArray();
        }
        json.endObject().endArray().endObject();
    }
    json.endArray();
    // The results alone, to be joined with other files' in the log's array.
    const std::string& results = json.text();
    return results.substr(1, results.size() - 2);
}

std::string githubAnnotations(const std::vector<settings::SourcedProblem>& problems) {
    std::string out;
    for (const auto& [source, problem] : problems) {
        out.append("::").append(settings::severityName(problem.severity));
        std::string message = settings::terminalSafe(keyAndMessage(problem));
        if (source.kind == settings::SourceKind::file) {
            out.append(" file=").append(githubEscaped(source.name, true));
            if (problem.line > 0) {
                out.append(",line=").append(settings::renderInteger(problem.line));
                out.append(",col=").append(settings::renderInteger(problem.column));
            }
        } else {
            message = settings::concatenate({originText(source, 0, 0), ": ", message});
        }
        out.append("::").append(githubEscaped(message, false)).append("\n");
    }
    return out;
}

int statusOf(const std::vector<settings::SourcedProblem>& problems) {
    const bool unreadable = std::any_of(problems.begin(), problems.end(), [](const settings::SourcedProblem& p) {
        return p.problem.kind == settings::ProblemKind::file;
    });
    return unreadable ? kUsageOrFileError : settings::anyError(problems) ? kProblemsFound : kAllValid;
}

void writeText(Output& err, const std::vector<settings::SourcedProblem>& problems, const std::vector<NamedText>& files,
               CommandLineNames names) {
    err.write(textDiagnostics(problems, files, names));
}

std::string textDiagnostics(const std::vector<settings::SourcedProblem>& problems, const std::vector<NamedText>& files,
                            CommandLineNames names) {
    std::string out;
    // Each file's lines are found once, and only for a file with problems.
    std::vector<std::optional<settings::TextLines>> lines(files.size());
    const settings::TextLines none{std::string_view()};
    for (const settings::SourcedProblem& problem : problems) {
        const auto file = std::find_if(files.begin(), files.end(), [&](const NamedText& f) {
            return problem.source.kind == settings::SourceKind::file && f.name == problem.source.name;
        });
        if (file == files.end()) {
            out += textDiagnostic(problem, none, names);
            continue;
        }
        std::optional<settings::TextLines>& fileLines = lines.at(static_cast<std::size_t>(file - files.begin()));
        if (!fileLines) {
            fileLines.emplace(file->text);
        }
        out += textDiagnostic(problem, *fileLines, names);
    }
    return out;
}

std::string jsonLayersReport(const std::vector<std::string>& paths,
                             const std::vector<settings::SourcedProblem>& problems) {
    settings::JsonWriter json;
    json.beginObject().key("paths").beginArray();
    for (const std::string& path : paths) {
        json.string(path);
    }
    json.endArray().key("valid").boolean(!settings::anyError(problems)).key("diagnostics");
    writeDiagnostics(json, problems);
    return json.endObject().take();
}

}  // namespace command
