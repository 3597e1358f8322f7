// stack/apache/config_lines.h: recognises each kind of Apache template line (host and <Directory>
// starts and ends, LoadModule, directives, Alias arguments, nested tags) by plain scanning, with
// the matches and captures of the ECMAScript pattern in its comment: libstdc++'s std::regex
// recurses once per character and overflows the stack on a long line. Also reads lines as Apache
// does: continued lines joined, words split, ${NAME} expanded. Pure; any thread.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A configuration file's text split into lines at LF (a CR before it dropped), ready to be written
// back with a line end after every line. Apache keeps the backslash that ends a file's last line
// only when no line end follows it: such a line gets a blank after the backslash, which keeps it
// alone (and as Apache read it) once a line end follows.
std::vector<std::string> SplitConfigLines(std::string_view text);

// A line to be written with a line end after it: Apache joins the next line to one that ends in a
// backslash; after a blank it reads the line as it stands (trailing blanks are dropped), so a
// blank after such a backslash keeps the line alone.
std::string KeptAlone(std::string line);

// The lines of a file as Apache reads them, every line ending in a line end (SplitConfigLines): a
// line whose last character is a backslash goes on with the next one, the backslash dropped and
// the next line appended as it stands (its leading blanks kept), as often as it repeats. A blank
// after the backslash continues nothing; the last line's final backslash asks for a line the file
// does not have, and is dropped.
struct JoinedLines {
    std::vector<std::string> text;   // one per line Apache reads
    std::vector<size_t> first;       // the index of its first line in the file
    size_t fileLines = 0;            // how many lines the file has
    // The index in the file just past the last line that text[k] was joined from.
    size_t End(size_t k) const { return k + 1 < first.size() ? first[k + 1] : fileLines; }
};
JoinedLines JoinContinuedLines(const std::vector<std::string>& lines);

// A directive's arguments split into words as Apache splits them. Blanks separate words. A word
// that starts with a double or a single quote runs to the next such quote, and inside it a
// backslash before that quote or before another backslash stands for the character after it;
// elsewhere only a doubled backslash stands for one. A quote that is never closed runs to the end.
std::vector<std::string> ApacheWords(std::string_view text);
// The word that starts at `pos` (blanks before it skipped); `pos` moves past it and the blanks
// after. `closed` tells whether a quoted word met its closing quote (a bare word counts as closed).
std::string NextApacheWord(std::string_view text, size_t& pos, bool* closed = nullptr);

// The value of an environment variable, none when it is not set.
using ApacheEnvironment = std::function<std::optional<std::string>(const std::string& name)>;
// A block tag as Apache reads it. A start tag is "<Name" followed by a blank or '>': its argument
// runs to the line's last '>' and what follows that is ignored. An end tag is the line's first
// word, "</Name>" exactly ("</VirtualHost >" and "</VirtualHost>#" are none: Apache refuses both),
// and the words after it are ignored. Names are ASCII letters.
struct BlockTag {
    bool closes = false;
    std::string name;      // as written
    std::string argument;  // a start tag's, trimmed; the rest of the line when it has no '>'
    std::string rest;      // what Apache ignores after the tag, trimmed ("# main site")
    bool Is(std::string_view tagName) const;  // the name, in any case
};
std::optional<BlockTag> ReadBlockTag(std::string_view line);

// A start tag of that name (any case) with its '>'.
bool IsStartTag(const std::optional<BlockTag>& tag, std::string_view name);
// An end tag of that name (any case).
bool IsEndTag(const std::optional<BlockTag>& tag, std::string_view name);

// A <VirtualHost ...> start; `argument` gets the text inside the tag.
bool MatchVhostStart(std::string_view line, std::string* argument);
bool MatchVhostEnd(std::string_view line);
// A <Directory> start whose argument is one folder, as Apache reads the word; `path` gets it. A
// regular expression ("<Directory ~ ^/x>") or more than one word is no such start: Apache reads
// those otherwise, and the block is kept as written.
bool MatchDirectoryStart(std::string_view line, std::string* path);
bool MatchDirectoryEnd(std::string_view line);

// One open block: its name and the index of the line that opened it.
struct OpenBlock {
    std::string name;
    size_t line = 0;
};
// The blocks open at a point of a configuration, as its tags nest them: the one place nesting is
// followed. A start tag opens a block; an end tag closes the innermost open block of its name,
// and with it every block opened inside that one and never closed.
class BlockNesting {
public:
    struct Step {
        std::optional<BlockTag> tag;     // the line's tag, if it is one
        bool unmatched = false;          // an end tag with no open block of its name
        std::vector<OpenBlock> leftOpen; // blocks its end tag closed without their own end
    };
    // Takes the next line, of index `line`.
    Step Take(std::string_view text, size_t line = 0);
    const std::vector<OpenBlock>& Open() const { return m_open; }
    size_t Depth() const { return m_open.size(); }
    void Truncate(size_t depth) { if (depth < m_open.size()) m_open.resize(depth); }

private:
    std::vector<OpenBlock> m_open;
};

struct ModuleLineMatch {
    bool commented = false;  // group 2 matched
    std::string name;        // group 3
    std::string path;        // group 4
};
// ^(\s*)(#\s*)?LoadModule\s+(\S+)\s+(.+?)\s*$ ignoring case.
bool MatchModuleLine(std::string_view line, ModuleLineMatch* out);

// ^\s*([A-Za-z]+)\s+(.*?)\s*$, case-sensitive: a directive name and its value.
bool MatchDirective(std::string_view line, std::string* name, std::string* value);

// An Alias value of two arguments as Apache reads them (ApacheWords), both between quotes (either
// kind, each closed and followed by a blank or the end) or both bare; without single quotes and
// backslashes that is ^\s*"([^"]*)"\s+"([^"]*)"\s*$|^\s*(\S+)\s+(\S+)\s*$. A bare argument
// holding a quote, or one quoted and one bare, is refused: such a line stays as written.
bool MatchAliasArguments(std::string_view value, std::string* url, std::string* path);

// A start tag of any block; `name` gets its name.
bool MatchOpenTag(std::string_view line, std::string* name = nullptr);
