#include "control/publicip.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/detached.h"
#include "core/online.h"
#include "core/text.h"
#include "tests/support/fixture_server.h"

TEST(PublicIp, FindAddress_FirstDottedQuadAnywhere) {
    EXPECT_EQ(publicip::FindAddress("<b>Your address: 203.0.113.7</b> via 10.0.0.1"), "203.0.113.7");
    EXPECT_EQ(publicip::FindAddress("999.1.22.333"), "999.1.22.333");   // digits are not range-checked
    EXPECT_EQ(publicip::FindAddress("1.2.3 and 1234.5.6.7x"), "234.5.6.7");
    EXPECT_EQ(publicip::FindAddress("2001:db8::1"), "");
}

TEST(PublicIp, Lookup_HttpsFailsThenHttpAnswers_OrNoAddressAnywhere) {
    testkit::FixtureServer server;
    ASSERT_TRUE(server.Started()) << server.Error();
    server.Serve("/file/ip.php", "ip=198.51.100.23\n");
    server.Serve("/bad.php", "no address here");
    const auto fallback = publicip::Lookup({server.Url("/status?code=503"), server.Url("/file/ip.php")});
    EXPECT_EQ(fallback.ip + "|" + fallback.error, "198.51.100.23|");
    const auto invalid = publicip::Lookup({server.Url("/bad.php"), server.Url("/bad.php")});
    EXPECT_EQ(invalid.ip + "|" + invalid.error, "|invalid answer");

    // The built-in endpoints, HTTPS first, moved to the server: the thread publishes the address.
    ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(server.Url()).c_str());
    EXPECT_EQ(publicip::Endpoints(), (std::vector<std::string>{server.Url("/file/ip.php"), server.Url("/file/ip.php")}));
    publicip::Start(false);
    EXPECT_TRUE(testkit::WaitFor([] { return !publicip::IsRunning(); }));
    ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
    EXPECT_EQ(publicip::GetIp() + "|" + publicip::GetError(), "198.51.100.23|");

    // Done: only a forced start looks again; a refused thread leaves no lookup running.
    FailThreadStartsForTesting(true);
    publicip::Start(false);
    EXPECT_EQ(publicip::GetIp(), "198.51.100.23");
    publicip::Start(true);
    FailThreadStartsForTesting(false);
    EXPECT_FALSE(publicip::IsRunning());
    EXPECT_EQ(publicip::GetIp() + "|" + publicip::GetError(), "|cannot start a thread");
}
