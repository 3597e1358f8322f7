#include "app/selftest.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>

#include "app/cli.h"
#include "core/files.h"
#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/apache/config.h"
#include "stack/apache/site.h"
#include "stack/apache/httpd_conf.h"
#include "stack/php/builds.h"
#include "stack/php/extensions.h"

namespace {

constexpr char kTestHost[] = "zvselftest";
constexpr char kTestModule[] = "info_module";

// A template as it was before the test: its text when it could be read. A file that was not
// there is removed again; one that existed but could not be read is left as the test leaves it,
// since writing a guess over it could only lose the user's text.
class TemplateBackup {
public:
    explicit TemplateBackup(std::wstring path)
        : m_path(std::move(path)), m_existed(PathExists(m_path)), m_text(ReadWholeFile(m_path)) {}

    void Restore(int& failures) const {
        std::string error;
        if (m_text) {
            if (WriteFileAtomic(m_path, *m_text, &error)) return;
        } else if (!m_existed) {
            if (!PathExists(m_path) || ::DeleteFileW(ExtendedPath(m_path).c_str())) return;
            error = "cannot remove " + WideToUtf8(m_path) + ": " + LastErrorText(0, m_path);
        } else {
            return;
        }
        ConsoleWriteLine("ERROR " + error);
        ++failures;
    }

private:
    std::wstring m_path;
    bool m_existed;
    std::optional<std::string> m_text;
};

ModuleLine* FindModule(ApacheConfig& config, const std::string& name) {
    const auto it = std::find_if(config.modules.begin(), config.modules.end(),
                                 [&](const ModuleLine& m) { return m.name == name; });
    return it == config.modules.end() ? nullptr : &*it;
}

bool IsTestHost(const VirtualHost& host) {
    return EqualsIgnoreCase(host.serverName, std::string(kTestHost) + ".localhost");
}

// A run ended from outside between adding its host and restoring the template leaves the host in
// it; the user would see it in the editor and Apache would serve it. Only hosts of the test's own
// name are taken out, known by the ServerName the test writes: a host that merely answers that
// name (an alias of it, a port after it) is the user's. This save stays (the backup is taken
// after it), so nothing is written from a file whose blocks do not balance, which was misread,
// nor one with a host that cannot be written back as Apache reads it: the refusals of every
// other save.
void RemoveEarlierTestHosts(int& failures, const std::wstring& path) {
    ApacheConfig config;
    if (!config.Load(path) || config.blockFault || FindUnwritableField(config.vhosts)) return;
    bool found = false;
    for (size_t i = config.vhosts.size(); i-- > 0;) {
        if (!IsTestHost(config.vhosts[i])) continue;
        config.vhosts.erase(config.vhosts.begin() + std::ptrdiff_t(i));
        found = true;
    }
    if (found) CliPrintCheck(failures, config.Save(), "test host of an earlier run removed");
}

// Steps 3 to 9: a virtual host and a module switch saved, read back, turned into httpd.conf and
// tested by httpd.exe, then taken out again; the template's text restored at the end.
void CheckApacheEdits(int& failures, const ApacheInstall& apache, const PhpInstall& php) {
    const std::wstring path = HttpdTemplatePath(apache);
    RemoveEarlierTestHosts(failures, path);
    const TemplateBackup backup(path);
    ApacheConfig config;
    CliPrintCheck(failures, config.Load(path), "load httpd_zerva.conf");
    const size_t hostsBefore = config.vhosts.size();

    // Where "site" would put it, so that httpd.exe tests such a host on the template's own addresses.
    std::string text;
    (void)ReadWholeFile(path, text);
    VirtualHost host = PlanSite(config, ReadTemplateAsHttpd(apache, php, text), kTestHost).host;
    host.aliases.push_back({"/alias-test", "{DOCUMENTPATH}/zvselftest/"});
    config.vhosts.push_back(host);
    std::optional<bool> moduleBefore;
    if (ModuleLine* module = FindModule(config, kTestModule)) {
        moduleBefore = module->enabled;
        module->enabled = !module->enabled;
    }
    CliPrintCheck(failures, config.Save(), "save with a new virtual host");

    ApacheConfig fresh;
    (void)fresh.Load(path);
    const bool parsedBack = fresh.vhosts.size() == hostsBefore + 1 &&
                            fresh.vhosts.back().serverName == std::string(kTestHost) + ".localhost" &&
                            fresh.vhosts.back().aliases.size() == 1 && fresh.vhosts.back().directories.size() == 1;
    CliPrintCheck(failures, parsedBack, "virtual host parsed back (name, alias, directory)");
    if (moduleBefore) {
        const ModuleLine* module = FindModule(fresh, kTestModule);
        CliPrintCheck(failures, module && module->enabled == !*moduleBefore, "module toggle persisted");
    }

    std::optional<PhpInstall> withPhp;
    if (php.arch == apache.arch) withPhp = php;
    std::string error;
    (void)WritePhpIni(php, HttpdConfMacros(apache, withPhp), error);
    CliPrintCheck(failures, WriteHttpdConf(apache, withPhp, error), "generate httpd.conf");
    std::string output;
    const bool syntaxOk = TestApacheConfig(apache, withPhp, output);
    CliPrintCheck(failures, syntaxOk, "httpd -t with the new virtual host: " + Trim(output));

    if (!fresh.vhosts.empty()) fresh.vhosts.pop_back();
    if (ModuleLine* module = FindModule(fresh, kTestModule); module && moduleBefore) module->enabled = *moduleBefore;
    (void)fresh.Save();
    ApacheConfig after;
    (void)after.Load(path);
    CliPrintCheck(failures, after.vhosts.size() == hostsBefore, "virtual host removed");
    backup.Restore(failures);
}

// The extension step's choice: "sodium" when listed, else the first non-Zend one whose DLL is there.
std::optional<PhpExtension> ChooseExtension(const std::vector<PhpExtension>& extensions) {
    const auto sodium = std::find_if(extensions.begin(), extensions.end(),
                                     [](const PhpExtension& e) { return e.name == "sodium"; });
    if (sodium != extensions.end()) return *sodium;
    const auto other = std::find_if(extensions.begin(), extensions.end(),
                                    [](const PhpExtension& e) { return e.dllPresent && !e.zend; });
    if (other != extensions.end()) return *other;
    return std::nullopt;
}

// Steps 10 to 15: an extension switched and two directives written and read back in
// php_zerva.ini; the template's text restored at the end.
void CheckPhpEdits(int& failures, const PhpInstall& php) {
    const TemplateBackup backup(PhpTemplatePath(php));
    const std::optional<PhpExtension> extension = ChooseExtension(ListPhpExtensions(php));
    CliPrintCheck(failures, extension.has_value(), "PHP extension list");
    std::string error;
    if (extension) {
        const bool wanted = !extension->enabled;
        CliPrintCheck(failures, SetPhpExtension(php, {{extension->name, wanted}}, error),
                      "toggle extension " + extension->name);
        const std::vector<PhpExtension> after = ListPhpExtensions(php);
        const bool persisted = std::any_of(after.begin(), after.end(), [&](const PhpExtension& e) {
            return e.name == extension->name && e.enabled == wanted;
        });
        CliPrintCheck(failures, persisted, "extension state persisted");
    }
    const std::map<std::string, std::string> settings = {{"memory_limit", "384M"}, {"date.timezone", "Europe/Paris"}};
    CliPrintCheck(failures, SetPhpDirective(php, settings, error), "set PHP settings");
    CliPrintCheck(failures, ReadPhpDirective(php, "memory_limit") == std::optional<std::string>("384M"),
                  "memory_limit read back");
    CliPrintCheck(failures, ReadPhpDirective(php, "date.timezone") == std::optional<std::string>("Europe/Paris"),
                  "date.timezone read back");
    backup.Restore(failures);
}

}  // namespace

void CliPrintCheck(int& failures, bool ok, const std::string& name) {
    ConsoleWriteLine((ok ? "PASS  " : "FAIL  ") + name);
    if (!ok) ++failures;
}

int CliSelfTest() {
    int failures = 0;
    const std::optional<ApacheInstall> apache = CurrentApache();
    const std::optional<PhpInstall> php = CurrentPhp();
    CliPrintCheck(failures, apache.has_value(), "Apache installed");
    CliPrintCheck(failures, php.has_value(), "PHP installed");
    if (!apache || !php) return 1;

    CheckApacheEdits(failures, *apache, *php);
    CheckPhpEdits(failures, *php);
    const bool ordered = CompareVersions("8.4.10", "8.4.9") > 0 && CompareVersions("2.4.69", "2.4.69") == 0 &&
                         CompareVersions("11.4", "11.4.1") < 0;
    CliPrintCheck(failures, ordered, "version comparison");
    ConsoleWriteLine(failures == 0 ? std::string("all tests passed") : Format("%d test(s) failed", failures));
    return failures == 0 ? 0 : 1;
}
