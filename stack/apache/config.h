// stack/apache/config.h: the editable model of a build's Apache template (httpd_zerva.conf):
// virtual hosts with their aliases and <Directory> blocks, and the LoadModule lines. Every other
// line is kept as text, so a save rewrites only the virtual hosts and the module lines.
// Plain values owned by the caller; any thread, no shared state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stack/apache/config_read.h"

struct AliasEntry {
    std::string url;   // as Apache reads it (quotes and escapes taken off)
    std::string path;  // as Apache reads it
};

struct DirectoryBlock {
    std::string path;                               // as Apache reads it (quotes and escapes taken off)
    std::string allowOverride = "All";              // the first one as written; empty when the block has none
    std::string options = "FollowSymLinks Indexes"; // the first one as written; empty when the block has none
    std::string require = "{ONLINE_MODE}";          // the whole first Require (or macro) line
    std::vector<std::string> otherLines;            // trimmed, in file order
    std::string startRest;  // set by ParseVhostBody: what follows the start tag ("# docs"), written back after it
    std::string endRest;    // set by ParseDirectoryBody: the same after the end tag
};

// The port of a host whose address has no port ("127.0.0.1", "*") or ends in one that is not a
// number ("*:*"): Apache serves it there on every port it listens on; the address is kept and
// written back as it stands, and the host has no port of its own.
inline constexpr int32_t kNoVhostPort = -1;

struct VirtualHost {
    std::string address = "*";  // "*", an IP address, "[::1]", a name; or the whole text
    int32_t port = 80;          // kNoVhostPort when the address has none of its own, see above
    std::string moreAddresses;  // the start line's further addresses as written; empty with one
    std::string serverName;     // as Apache reads it (quotes and escapes taken off)
    std::string serverAlias;    // every name, one blank between; a name Apache would read otherwise bare
                                // is written between double quotes
    std::string documentRoot;   // as Apache reads it (quotes and escapes taken off)
    std::vector<AliasEntry> aliases;
    std::vector<DirectoryBlock> directories;
    std::vector<std::string> otherLines;  // trimmed; nested blocks kept whole
    std::string startRest;  // set by Parse: what follows the start tag ("# main site"), written back after it
    std::string endRest;    // set by ParseVhostBody: the same after the end tag
};

struct ModuleLine {
    std::string name;
    std::string path;       // as written, quotes kept
    bool enabled = false;   // the line is not commented out
    size_t lineIndex = 0;   // index of its line in ApacheConfig::lines
};

// A line whose block does not balance: a document read from such a file has hosts misread (one
// swallowed by another, or run on to the end), so it must not be written back.
struct BlockFault {
    size_t line = 0;     // 1-based
    bool opens = false;  // it opens a block that is never closed; otherwise it closes none
    std::string text;    // the line, trimmed
};

struct ApacheConfig {
    std::vector<VirtualHost> vhosts;    // file order, then the ones added since loading
    std::vector<ModuleLine> modules;    // LoadModule lines outside virtual hosts, file order
    std::wstring path;                  // the file Load read and Save writes
    bool loaded = false;                // the last Load succeeded
    // Every line outside the virtual hosts; each host block is one placeholder line: the byte
    // 0x01 followed by the block's index in `vhosts`. Callers never touch it.
    std::vector<std::string> lines;
    size_t loadedVhostCount = 0;        // how many hosts the file held when loaded
    std::optional<BlockFault> blockFault;  // set by Parse: the first unbalanced line, if any
    std::vector<size_t> hostLines;      // set by Parse: each loaded host's start, a JoinContinuedLines index
    ReadState readState;                // set by Parse: what the file alone loads and defines, read to its end

    // Reads and parses the file; false (and an empty document) when it cannot be read.
    [[nodiscard]] bool Load(const std::wstring& file);
    // Writes the document back atomically, then loads the file again. False when nothing was
    // loaded or the write failed (the file is then unchanged and the edits stay in memory).
    [[nodiscard]] bool Save();

    // Text forms behind Load and Save: Parse fills the document from the file's bytes (a UTF-8
    // byte-order mark dropped, UTF-16 converted; lines joined where Apache joins them), keeping
    // `path` and setting `loaded`; Render gives the text Save writes, lines ending in CR LF, no mark.
    void Parse(std::string_view bytes);
    std::string Render() const;
};

// A new host: address "*", the port, server name name + ".localhost", and its document root
// and one <Directory> block on "{DOCUMENTPATH}/" + name.
VirtualHost MakeVirtualHost(const std::string& name, int port);
// Whether the host is an HTTPS host (SslEngineOn of its other lines), with what the document
// loads and defines (ApacheConfig::readState).
bool HasSslEngine(const VirtualHost& host, const ReadState& state);
// Distinct ports of every address of the hosts, in order of first appearance (kNoVhostPort left
// out): the ports Apache serves them on. Empty without hosts.
std::vector<int> UniqueVhostPorts(const ApacheConfig& config);
// The first line, in file order, whose block tag does not balance: a block never closed (one
// still open at a closing tag of an outer block, or a <VirtualHost> opening inside another) or a
// closing tag with no block open of its name. End lines count as the document reads them.
std::optional<BlockFault> FindBlockFault(const std::vector<std::string>& lines);
// Why the file must be mended by hand, with the line (translated).
std::string BlockFaultMessage(const BlockFault& fault);

// What WriteVhostBlock could not write so that Apache reads the same value back.
enum class FieldFault {
    EmptyAddress,    // "<VirtualHost :80>"
    AddressWord,     // a blank, a double quote, '<' or '>' in the address
    AddressPort,     // a port in the address of a host that has its own
    PortRange,       // a port outside 1..65535
    NameWord,        // a blank or a double quote in ServerName: more than one name
    QuoteBreak,      // a double quote in a <Directory> path
};
enum class HostField { Address, ServerName, DocumentRoot, Alias, Directory };
struct UnwritableField {
    size_t host = 0;  // index in the hosts
    HostField field = HostField::Address;
    FieldFault fault = FieldFault::EmptyAddress;
};
// The first field, host by host in editor order, that would be written broken; none when every
// host can be written as it stands.
std::optional<UnwritableField> FindUnwritableField(const std::vector<VirtualHost>& hosts);
// Why the hosts cannot be saved (translated), naming the host by its number and name, and the field.
std::string UnwritableFieldMessage(const UnwritableField& problem, const VirtualHost& host);

// Fills address and port from a <VirtualHost> argument's first address, and moreAddresses with
// the others as written. An address without a port, or with one that is no port from 1 to 65535,
// is kept whole as written, with kNoVhostPort.
void ParseVhostAddress(const std::string& text, VirtualHost& host);

// One address of a <VirtualHost> start line, as Apache serves the host on it.
struct VhostAddress {
    std::string address;  // "*", an IP address, "[::1]", a name; or the whole word (kNoVhostPort)
    int32_t port = 80;    // kNoVhostPort when the word has none, or one that is no number from 1 to 65535
};
// One word of the argument (quotes already taken off): "[::1]:8080" gives [::1] and 8080. The one
// reader of an address: the document, httpd.conf generation, a new site and the checks use it.
VhostAddress ParseAddressWord(const std::string& word);
// The address of a word with its port left off, own or "*": "127.0.0.1:*", "127.0.0.1:8080" and
// "127.0.0.1" all name 127.0.0.1.
std::string AddressHost(std::string_view word);
// Every address the host is served on: its first one, then each of moreAddresses.
std::vector<VhostAddress> HostAddresses(const VirtualHost& host);
// Moves every address of the host on port `from` to port `to`: the first one, and each further one
// where it stands, with its quotes and the other words kept as written; an address without a port
// of its own stays as it is. False when no address was on `from`.
bool MoveHostPort(VirtualHost& host, int32_t from, int32_t to);
// Each reads the block body starting after lines[i] and leaves i on the block's last line
// (its end line, or the last line of the text when the end is missing). A host keeps its Alias
// lines among its other lines, in file order, when one it cannot hold as an entry (or a
// ScriptAlias, AliasMatch, ScriptAliasMatch, or an Include that may hold them) follows one it
// can: Apache takes the first that matches, and entries are written after the other lines.
// Likewise a <Directory> block stays there as written when a <Directory> of the same folder
// (compared as on Windows: any case, '\' and '/' alike, a trailing '/' ignored) follows it among
// the other lines, in a nested block or kept as written: Apache merges them in file order.
// A ServerName, DocumentRoot or ServerAlias of a host, or an AllowOverride, Options or Require of
// a <Directory> block, stays among the other lines where it stands, and fills no field, when a
// line before it in the same body may set it or change how it reads: a line of the same directive
// kept among the other lines (nested or not; Apache keeps the last), an Include or IncludeOptional,
// or (for a value holding "${") a Define or UnDefine. Fields are written before the other lines,
// which would change what Apache reads.
void ParseVhostBody(const std::vector<std::string>& lines, size_t& i, VirtualHost& host);
void ParseDirectoryBody(const std::vector<std::string>& lines, size_t& i, DirectoryBlock& block);
// Copies the nested block opening at lines[i], trimmed, into `out`.
void CaptureNestedBlock(const std::vector<std::string>& lines, size_t& i,
                        std::vector<std::string>& out);
// Appends the host's block in the fixed layout, what followed each tag written back after it,
// every line ending in CR LF; a line ending in a backslash gets a blank after it, so that Apache
// does not join the next line to it.
void WriteVhostBlock(const VirtualHost& host, std::string& out);

// Between double quotes, escaped where Apache would read the text otherwise: a quote, and a
// backslash before a quote, another backslash or the closing quote, get a backslash before them.
std::string Quote(std::string_view text);
std::string Unquote(std::string_view text);  // trimmed, one pair of enclosing quotes removed

// One host of a reading: its record made from the lines Apache reads, and where it stands.
struct ReadHost {
    VirtualHost host;               // names and addresses as Apache reads them
    std::vector<std::string> body;  // the lines read between its start and end lines
    size_t first = 0;               // index of its start line in ApacheReading::lines
    size_t last = 0;                // index of its end line (or of the last line read)
    bool https = false;             // SslEngineOn of its body
};
std::vector<ReadHost> ReadHosts(const ApacheReading& reading);
// Whether Apache serves each host of `document` over TLS, as `reading` (the same text read as
// Apache reads it: an Include inside a host may switch it on) says; a host the reading does not
// hold (one of a section Apache skips) by HasSslEngine with the document's readState.
std::vector<bool> HttpsHosts(const ApacheConfig& document, const ApacheReading& reading);
// "conf/extra/vhosts.conf, line 3": where a host of the reading starts.
std::string HostPlace(const ApacheReading& reading, const ReadHost& host);
