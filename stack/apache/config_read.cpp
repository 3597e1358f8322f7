// stack/apache/config_read.cpp: a configuration as Apache reads it (declared in config_read.h).
// Sections: State and sections; Variables; Reading (files, includes).
#include "stack/apache/config_read.h"

#include <algorithm>
#include <utility>


namespace {

// Nested includes end here, as a file that includes itself would otherwise never end; and so
// many files are read at most, as one that includes itself twice would take ages to.
constexpr int kMaxIncludeDepth = 16;
constexpr size_t kMaxFiles = 512;

// httpd.exe's own modules, by name and by source file, as <IfModule> finds them.
constexpr const char* kBuiltInModules[] = {"core_module",  "core.c",    "win32_module",     "mod_win32.c", "mpm_winnt_module",
                                           "mpm_winnt.c", "http_module", "http_core.c", "so_module", "mod_so.c"};

// <IfDefine> and <IfModule> conditions: "!" for the opposite, then one word.
bool ConditionHolds(const BlockTag& tag, const ReadState& state) {
    std::string_view argument = tag.argument;
    const bool negated = !argument.empty() && argument.front() == '!';
    if (negated) argument.remove_prefix(1);
    const std::vector<std::string> words = ApacheWords(argument);
    if (words.size() != 1) return true;   // Apache refuses the line itself
    const bool found = tag.Is("IfDefine") ? state.defined.count(words[0]) > 0 : state.Loaded(words[0]);
    return found != negated;
}

bool IsConditional(const BlockTag& tag) {
    for (const char* name : {"IfDefine", "IfModule", "IfVersion", "IfFile", "IfDirective", "IfSection"})
        if (tag.Is(name)) return true;
    return false;
}

// Define NAME [VALUE], UnDefine NAME and LoadModule NAME FILE, taken as Apache takes them; a line
// it would refuse (other word counts, a name holding ':') changes nothing.
void TakeDefinitions(const std::string& line, ReadState& state) {
    std::string directive, value;
    if (!MatchDirective(line, &directive, &value)) return;
    const std::vector<std::string> words = ApacheWords(value);
    if (EqualsIgnoreCase(directive, "LoadModule") && words.size() == 2) {
        state.modules.insert(words[0]);
        // The source file Apache names the module by: "modules/mod_ssl.so" was built from "mod_ssl.c".
        std::string file = words[1].substr(words[1].find_last_of("/\\") + 1);
        if (const size_t dot = file.rfind('.'); dot != std::string::npos) file.erase(dot);
        state.modules.insert(file + ".c");
        return;
    }
    if (words.empty() || words[0].find(':') != std::string::npos) return;
    if (EqualsIgnoreCase(directive, "Define") && words.size() <= 2) {
        state.defined.insert(words[0]);
        // Without a value the name is defined for <IfDefine>, and an earlier value stays.
        if (words.size() == 2) state.variables[ToLower(words[0])] = words[1];
    } else if (EqualsIgnoreCase(directive, "UnDefine") && words.size() == 1) {
        state.defined.erase(words[0]);
        state.variables.erase(ToLower(words[0]));
    }
}

}  // namespace

// ---- State and sections ----

ReadState::ReadState() : modules(std::begin(kBuiltInModules), std::end(kBuiltInModules)) {}

bool SectionReader::Take(const std::string& line) {
    const bool skipped = m_skipping > 0;
    const BlockNesting::Step step = m_nesting.Take(line);
    if (!step.tag) {
        if (skipped) return false;
        TakeDefinitions(line, m_state);
        return true;
    }
    if (step.tag->closes) {
        // The sections it closes, its own and any left open inside it.
        bool conditional = false;
        while (m_open.size() > m_nesting.Depth()) {
            conditional = m_open.back().conditional;
            if (!m_open.back().met) --m_skipping;
            m_open.pop_back();
        }
        return m_skipping == 0 && (step.unmatched || !conditional);
    }
    Section section{IsConditional(*step.tag), true};
    // Apache never looks at the condition of a section inside a skipped one.
    const bool judged = step.tag->Is("IfDefine") || step.tag->Is("IfModule");
    if (judged && !skipped) section.met = ConditionHolds(*step.tag, m_state);
    if (!section.met) ++m_skipping;
    m_open.push_back(section);
    return !skipped && !section.conditional;
}

// ---- Variables ----

std::string ExpandApacheVariablesOfLine(std::string_view line, const ReadState& state,
                                        const ApacheEnvironment& environment) {
    std::string out;
    size_t pos = 0;
    for (size_t start = line.find("${"); start != std::string_view::npos; start = line.find("${", pos)) {
        // Without a closing brace no name follows, here or later on the line.
        const size_t close = line.find('}', start + 2);
        if (close == std::string_view::npos) break;
        const std::string name(line.substr(start + 2, close - start - 2));
        std::optional<std::string> value;
        if (const auto found = state.variables.find(ToLower(name)); found != state.variables.end()) value = found->second;
        else if (environment) value = environment(name);
        out += line.substr(pos, start - pos);
        out += value ? std::string_view(*value) : line.substr(start, close + 1 - start);
        pos = close + 1;
    }
    out += line.substr(pos);
    return out;
}

// ---- Reading ----

namespace {

class Reader {
public:
    Reader(const ReadingInput& input, ApacheReading& reading)
        : m_input(input), m_reading(reading), m_sections(reading.state), m_serverRoot(input.serverRoot) {}

    void ReadFile(std::string_view bytes, const std::string& name, int depth) {
        const size_t file = m_reading.files.size();
        m_reading.files.push_back(name);
        const JoinedLines joined = JoinContinuedLines(SplitConfigLines(TextFileToUtf8(bytes)));
        for (size_t k = 0; k < joined.text.size(); ++k) {
            const size_t first = SkipSpaces(joined.text[k], 0);
            if (first == joined.text[k].size() || joined.text[k][first] == '#') continue;
            // Zerva expands its macros in the template alone: Apache reads an included file as it stands.
            const std::string macros =
                depth > 0 || m_input.macros.empty() ? joined.text[k] : ExpandMacros(joined.text[k], m_input.macros);
            std::string text = ExpandApacheVariablesOfLine(macros, m_reading.state, m_input.environment);
            if (!m_sections.Take(text)) continue;
            if (Follow(text, depth)) continue;
            m_reading.lines.push_back({std::move(text), file, k, joined.first[k] + 1});
        }
    }

private:
    // An Include line is replaced by the lines of the files it names; ServerRoot moves where their
    // relative paths start. False for any other line.
    bool Follow(const std::string& line, int depth) {
        std::string directive, value;
        if (!MatchDirective(line, &directive, &value)) return false;
        const std::vector<std::string> words = ApacheWords(value);
        if (EqualsIgnoreCase(directive, "ServerRoot") && words.size() == 1) m_serverRoot = words[0];
        if (!EqualsIgnoreCase(directive, "Include") && !EqualsIgnoreCase(directive, "IncludeOptional")) return false;
        if (words.size() != 1 || !m_input.include || depth >= kMaxIncludeDepth) return true;
        for (const IncludedFile& file : m_input.include(words[0], m_serverRoot))
            if (m_reading.files.size() < kMaxFiles) ReadFile(file.text, file.name, depth + 1);
        return true;
    }

    const ReadingInput& m_input;
    ApacheReading& m_reading;
    SectionReader m_sections;
    std::string m_serverRoot;
};

}  // namespace

ApacheReading ReadAsApache(std::string_view text, const std::string& name, const ReadingInput& input) {
    ApacheReading reading;
    Reader(input, reading).ReadFile(text, name, 0);
    return reading;
}

bool SslEngineOn(const std::vector<std::string>& body, const ReadState& state) {
    ReadState inside = state;
    SectionReader sections(inside);
    return std::any_of(body.begin(), body.end(), [&](const std::string& line) {
        std::string directive, value;
        if (!sections.Take(line) || !MatchDirective(line, &directive, &value)) return false;
        const std::vector<std::string> words = ApacheWords(value);
        return EqualsIgnoreCase(directive, "SSLEngine") && words.size() == 1 && EqualsIgnoreCase(words[0], "on");
    });
}

std::optional<std::string> CertificateOf(const std::string& line) {
    std::string name, value;
    if (!MatchDirective(line, &name, &value) || !EqualsIgnoreCase(name, "SSLCertificateFile")) return std::nullopt;
    size_t pos = 0;
    std::string path = NextApacheWord(value, pos);
    if (path.empty()) return std::nullopt;
    return path;
}
