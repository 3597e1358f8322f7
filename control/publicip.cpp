#include "control/publicip.h"

#include <mutex>
#include <regex>

#include "core/detached.h"
#include "core/http.h"
#include "core/online.h"

namespace publicip {

namespace {

constexpr char kHttpsEndpoint[] = "https://zerva.dev/file/ip.php";
constexpr char kHttpEndpoint[] = "http://zerva.dev/file/ip.php";

struct State {
    std::mutex mutex;
    bool running = false;
    bool done = false;
    std::string ip;
    std::string error;
};

// Never destroyed: a lookup thread may still finish while the program's statics go away.
State& S() {
    static State* state = new State;
    return *state;
}

void Finish(LookupResult result) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().running = false;
    S().done = true;
    S().ip = std::move(result.ip);
    S().error = std::move(result.error);
}

}  // namespace

std::vector<std::string> Endpoints() { return {OnlineAddress(kHttpsEndpoint), OnlineAddress(kHttpEndpoint)}; }

std::string FindAddress(std::string_view body) {
    static const std::regex pattern("(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})");
    std::match_results<std::string_view::const_iterator> match;
    return std::regex_search(body.begin(), body.end(), match, pattern) ? match[1].str() : std::string();
}

LookupResult Lookup(const std::vector<std::string>& endpoints) {
    LookupResult result;
    HttpOptions options;
    options.timeoutMs = 10000;
    for (const std::string& endpoint : endpoints) {
        HttpResult http;
        std::string body;
        if (!HttpGet(http, endpoint, options, nullptr, nullptr, body)) {
            result.error = http.error;
            continue;
        }
        result.ip = FindAddress(body);
        if (!result.ip.empty()) {
            result.error.clear();
            break;
        }
        result.error = "invalid answer";
    }
    return result;
}

void Start(bool force) {
    std::lock_guard<std::mutex> lock(S().mutex);
    if (S().running || (S().done && !force)) return;
    S().running = true;
    // The thread waits for this lock before it stores its result, so starting it here is safe.
    if (!StartDetached([] { Finish(Lookup(Endpoints())); })) {
        S().running = false;
        S().done = true;
        S().ip.clear();
        S().error = "cannot start a thread";
    }
}

bool IsRunning() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().running;
}

std::string GetIp() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().ip;
}

std::string GetError() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().error;
}

}  // namespace publicip
