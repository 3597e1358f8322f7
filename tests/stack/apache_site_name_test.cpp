#include "stack/apache/site_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST(SiteName, Normalize_TrimsLowerCasesAndRefusesUnsafeNames) {
    const struct {
        std::string typed;
        std::optional<std::string> name;
    } cases[] = {
        {"blog", "blog"},
        {"  My_Site-2 \t", "my_site-2"},
        {"-", "-"},
        {"console", "console"},    // only the device names themselves are reserved
        {"com10", "com10"},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"../x", std::nullopt},     // would leave www
        {"a\\b", std::nullopt},
        {"it's", std::nullopt},     // would end the PHP string of index.php
        {"a\"b", std::nullopt},     // would end the quoted paths of httpd_zerva.conf
        {"a\nb", std::nullopt},     // would start a new configuration line
        {"a b", std::nullopt},
        {"a.b", std::nullopt},
        {"caf\xC3\xA9", std::nullopt},
        {"CON", std::nullopt},
        {"nul", std::nullopt},
        {"Aux", std::nullopt},
        {"prn", std::nullopt},
        {"com0", std::nullopt},
        {"LPT9", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeSiteName(c.typed), c.name) << c.typed;
    // The check itself takes the name as it stands: no trimming, no case folding.
    EXPECT_FALSE(IsValidSiteName("Blog"));
    EXPECT_FALSE(IsValidSiteName(" blog"));
}
