#include "stack/apache/site_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST(SiteName, Normalize_TrimsLowerCasesAndRefusesUnsafeNames) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"blog", "blog"}, {"  My_Site-2 \t", "my_site-2"}, {"-", "-"},
        {"console", "console"}, {"com10", "com10"},   // only the device names themselves are reserved
        // Empty; leaving www; ending index.php's string or a quoted path of httpd_zerva.conf; a
        // new configuration line; outside the alphabet; Windows device names.
        {"", {}}, {"   ", {}}, {"../x", {}}, {"a\\b", {}}, {"it's", {}}, {"a\"b", {}}, {"a\nb", {}},
        {"a b", {}}, {"a.b", {}}, {"caf\xC3\xA9", {}}, {"CON", {}}, {"nul", {}}, {"Aux", {}}, {"prn", {}},
        {"com0", {}}, {"LPT9", {}},
    };
    for (const auto& [typed, name] : cases) EXPECT_EQ(NormalizeSiteName(typed), name) << typed;
    EXPECT_FALSE(IsValidSiteName("Blog"));   // the check takes the name as it stands
    EXPECT_FALSE(IsValidSiteName(" blog"));
}
