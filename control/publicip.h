// control/publicip.h: the computer's public IPv4 address, asked of the product's web site on a
// short detached thread and kept for the dashboard. Called from the GUI thread; the lookup thread
// writes the record once, under the module's mutex, when it ends.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace publicip {

// Starts a lookup unless one runs or (without force) one has already finished.
void Start(bool force);
bool IsRunning();
std::string GetIp();      // empty when the last lookup found none
std::string GetError();   // empty when the last lookup found an address

// The endpoints in the order they are tried: HTTPS, then plain HTTP (after ZERVA_ONLINE_BASE).
std::vector<std::string> Endpoints();
// The first dotted quad of one to three digits per group anywhere in the text, or "".
std::string FindAddress(std::string_view body);

struct LookupResult {
    std::string ip;
    std::string error;   // the failure of the last endpoint tried when no address was found
};
// Asks the endpoints in order until one answers with an address. Blocking.
LookupResult Lookup(const std::vector<std::string>& endpoints);

}  // namespace publicip
