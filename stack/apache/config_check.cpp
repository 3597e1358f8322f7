// stack/apache/config_check.cpp: what must hold before a document goes back to its file (declared
// in config.h): blocks that balance, so the hosts were read as written, and host fields that
// WriteVhostBlock can write so that Apache reads the same values back. Pure; any thread.
#include <algorithm>

#include "core/text.h"
#include "core/translate.h"
#include "stack/apache/config.h"
#include "stack/apache/config_lines.h"

namespace {

bool HasBlank(std::string_view text) { return std::any_of(text.begin(), text.end(), IsSpace); }


// A host's <VirtualHost> argument: its address, and its port when it has one of its own.
std::optional<FieldFault> AddressFault(const VirtualHost& host) {
    const std::string& address = host.address;
    if (Trim(address).empty()) return FieldFault::EmptyAddress;
    if (HasBlank(address) || address.find_first_of("\"<>") != std::string::npos) return FieldFault::AddressWord;
    if (host.port == kNoVhostPort) return std::nullopt;   // written as it was read: "*:*"
    if (AddressHost(address) != address) return FieldFault::AddressPort;
    if (host.port < 1 || host.port > 65535) return FieldFault::PortRange;
    return std::nullopt;
}

std::optional<UnwritableField> HostFault(size_t index, const VirtualHost& host) {
    auto fault = [index](HostField field, FieldFault kind) { return UnwritableField{index, field, kind}; };
    if (const auto address = AddressFault(host)) return fault(HostField::Address, *address);
    if (HasBlank(host.serverName) || host.serverName.find('"') != std::string::npos)
        return fault(HostField::ServerName, FieldFault::NameWord);
    // Quote escapes what Apache would read otherwise, but a <Directory> start line holding a quote
    // would no longer be read back as one.
    for (const DirectoryBlock& block : host.directories)
        if (block.path.find('"') != std::string::npos) return fault(HostField::Directory, FieldFault::QuoteBreak);
    return std::nullopt;
}

// What the row is called in the host editor: its label there, or the directive it writes.
const char* FieldName(HostField field) {
    switch (field) {
    case HostField::Address: return Tr("Address / port");
    case HostField::ServerName: return "ServerName";
    case HostField::DocumentRoot: return "DocumentRoot";
    case HostField::Alias: return "Alias";
    case HostField::Directory: return "<Directory>";
    }
    return "";
}

const char* FaultText(FieldFault fault) {
    switch (fault) {
    case FieldFault::EmptyAddress: return Tr("is empty (write * for every address)");
    case FieldFault::AddressWord: return Tr("cannot hold blanks, double quotes, < or >");
    case FieldFault::AddressPort: return Tr("holds a port: write it in the port field");
    case FieldFault::PortRange: return Tr("must be between 1 and 65535");
    case FieldFault::NameWord: return Tr("cannot hold blanks or double quotes (one name only)");
    case FieldFault::QuoteBreak: return Tr("cannot hold a double quote");
    }
    return "";
}

}  // namespace

std::optional<BlockFault> FindBlockFault(const std::vector<std::string>& lines) {
    BlockNesting nesting;
    std::optional<size_t> first;   // index of the earliest unbalanced line found so far
    bool firstOpens = false;
    auto found = [&](size_t index, bool opens) {
        if (first && *first <= index) return;
        first = index;
        firstOpens = opens;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        // Apache nests no host in another: the open one was not closed.
        const std::optional<BlockTag> tag = ReadBlockTag(lines[i]);
        if (IsStartTag(tag, "VirtualHost")) {
            const std::vector<OpenBlock>& open = nesting.Open();
            for (size_t k = 0; k < open.size(); ++k) {
                if (!EqualsIgnoreCase(open[k].name, "VirtualHost")) continue;
                found(open[k].line, true);
                nesting.Truncate(k);
                break;
            }
        }
        const BlockNesting::Step step = nesting.Take(lines[i], i);
        if (step.unmatched) found(i, false);
        if (!step.leftOpen.empty()) found(step.leftOpen.front().line, true);
    }
    if (!nesting.Open().empty()) found(nesting.Open().front().line, true);
    if (!first) return std::nullopt;
    return BlockFault{*first + 1, firstOpens, Trim(lines[*first])};
}

std::string BlockFaultMessage(const BlockFault& fault) {
    const char* format =
        fault.opens ? Tr("httpd_zerva.conf must be mended by hand: line %d opens a block that is never closed: %s")
                    : Tr("httpd_zerva.conf must be mended by hand: line %d closes a block that was never opened: %s");
    return Format(format, int(fault.line), fault.text.c_str());
}

std::optional<UnwritableField> FindUnwritableField(const std::vector<VirtualHost>& hosts) {
    for (size_t i = 0; i < hosts.size(); ++i)
        if (auto fault = HostFault(i, hosts[i])) return fault;
    return std::nullopt;
}

std::string UnwritableFieldMessage(const UnwritableField& problem, const VirtualHost& host) {
    const std::string name = host.serverName.empty() ? Tr("(default)") : host.serverName;
    return Format(Tr("Not saved: virtual host %d (%s), %s %s."), int(problem.host + 1), name.c_str(),
                  FieldName(problem.field), FaultText(problem.fault));
}
