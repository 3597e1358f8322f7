// stack/apache/config_read.h: a configuration as Apache reads it, line by line: continued lines
// joined, Zerva's macros and then Apache's ${NAME} expanded, the lines of <IfDefine> and
// <IfModule> sections whose condition fails left out, Define, UnDefine and LoadModule taken as
// they come, and the files Include and IncludeOptional name read where they stand. The one place
// that decides which lines Apache reads: httpd.conf generation, a new site and the document's
// HTTPS hosts all go through it. Pure (files come through a callback); any thread.
#pragma once
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <optional>

#include "core/text.h"
#include "stack/apache/config_lines.h"

// What is defined and loaded at a point of the reading.
struct ReadState {
    std::set<std::string> defined;                 // Define'd names, as <IfDefine> compares them (case kept)
    std::map<std::string, std::string> variables;  // a lower-case name's value, as ${NAME} finds it
    std::set<std::string> modules;                 // loaded modules by name ("ssl_module") and source ("mod_ssl.c")

    ReadState();   // the modules built into httpd.exe on Windows
    bool Loaded(const std::string& module) const { return modules.count(module) > 0; }
};

// Takes the lines of a reading one by one (joined and expanded) and tells which Apache reads:
// a conditional section's own tags and everything inside one whose condition fails are not read.
// Define, UnDefine and LoadModule lines that are read change the state as they come. Conditions
// other than <IfDefine> and <IfModule> (<IfVersion>, <IfFile>, ...) are taken as met.
class SectionReader {
public:
    explicit SectionReader(ReadState& state) : m_state(state) {}
    // Takes the next line: whether Apache reads it as a line of its own.
    bool Take(const std::string& line);

private:
    struct Section {
        bool conditional = false;
        bool met = true;
    };
    ReadState& m_state;
    BlockNesting m_nesting;
    std::vector<Section> m_open;   // one per block m_nesting holds open
    size_t m_skipping = 0;         // how many of them skip their lines
};

// The line with "${NAME}" replaced as Apache replaces it: a Define's value (names in any case),
// else the environment's; a name neither gives stays as written.
std::string ExpandApacheVariablesOfLine(std::string_view line, const ReadState& state,
                                        const ApacheEnvironment& environment);

struct IncludedFile {
    std::string name;   // as it is shown to the user: the file's full path
    std::string text;   // its bytes
};
// The files an Include or IncludeOptional names (`path` as written, relative ones from
// `serverRoot`), in the order Apache reads them; none for a name that matches nothing.
using IncludeFiles = std::function<std::vector<IncludedFile>(const std::string& path, const std::string& serverRoot)>;

struct ReadingInput {
    MacroMap macros;                 // Zerva's, expanded first in the template (not in included files); empty for none
    ApacheEnvironment environment;   // what ${NAME} takes when no Define gives it; none for none
    IncludeFiles include;            // none: Include lines are not followed
    std::string serverRoot;          // where relative Include paths start, until a ServerRoot line
};

struct ReadLine {
    std::string text;    // as Apache reads it
    size_t file = 0;     // index in ApacheReading::files; 0 the configuration itself
    size_t line = 0;     // index of its line in JoinContinuedLines of that file
    size_t number = 0;   // the 1-based line of the file it starts on, as an editor shows it
};

struct ApacheReading {
    std::vector<std::string> files;   // the configuration's name, then each file Include read
    std::vector<ReadLine> lines;      // every line read, in order; no comments, blanks or condition tags
    ReadState state;                  // as it stands once everything is read
};

// Reads `text` (a file's bytes: a byte-order mark dropped, UTF-16 converted), named `name`.
ApacheReading ReadAsApache(std::string_view text, const std::string& name, const ReadingInput& input);

// Whether a host body holds an "SSLEngine on" (one word, any case; "optional" serves plain HTTP
// too) among the lines Apache reads there, given `state` (the lines of a failed condition left
// out): an HTTPS host. Without the SSL module Apache would refuse the line, and httpd.conf
// generation leaves such a host out; either way it serves no plain HTTP.
bool SslEngineOn(const std::vector<std::string>& body, const ReadState& state);
// The certificate an SSLCertificateFile line names, read as Apache reads its argument; none for
// any other line.
std::optional<std::string> CertificateOf(const std::string& line);
