// The tray's menu, icon, tooltip and balloon choice.
#include "app/tray_model.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/translate.h"

namespace {

struct Flat {
    int id;
    bool enabled;
};

// The menu as ids and enabled states in order; the submenu's items follow a -1 and end with -2.
std::vector<Flat> Flatten(const std::vector<TrayMenuEntry>& entries) {
    std::vector<Flat> flat;
    for (const TrayMenuEntry& entry : entries) {
        if (entry.submenu.empty()) {
            flat.push_back({entry.id, entry.enabled});
            continue;
        }
        flat.push_back({-1, true});
        for (const TrayMenuEntry& item : entry.submenu) flat.push_back({item.id, item.enabled});
        flat.push_back({-2, true});
    }
    return flat;
}

TEST(TrayMenu, OrderAndEnabledStatesByServerStatus) {
    struct Case {
        bool apache, mysql, busy;
        // 1001..1003, 1008..1011, 1004, 1005
        std::vector<bool> enabled;
    };
    const Case cases[] = {
        {false, false, false, {true, false, false, true, false, true, false, false, false}},
        {true, false, false, {true, true, true, false, true, true, false, true, true}},
        {false, true, false, {true, true, true, true, false, false, true, false, false}},
        // Both running and a job busy: the three server-wide items are grey, the single ones not.
        {true, true, true, {false, false, false, false, true, false, true, true, true}},
        {false, false, true, {false, false, false, true, false, true, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.apache << c.mysql << c.busy);
        ServerStatus status;
        status.apache.running = c.apache;
        status.mysql.running = c.mysql;
        status.busy = c.busy;
        const std::vector<Flat> flat = Flatten(BuildTrayMenu(status, true));
        const std::vector<int> ids = {1000, 0, 1001, 1002, 1003, -1, 1008, 1009, 1010, 1011, -2,
                                      0,    1004, 1005, 1006, 0, 1007};
        ASSERT_EQ(flat.size(), ids.size());
        const std::vector<int> checked = {1001, 1002, 1003, 1008, 1009, 1010, 1011, 1004, 1005};
        for (size_t i = 0; i < ids.size(); ++i) {
            EXPECT_EQ(flat[i].id, ids[i]) << i;
            const auto at = std::find(checked.begin(), checked.end(), ids[i]);
            const bool expected = at == checked.end() ? true : c.enabled[at - checked.begin()];
            EXPECT_EQ(flat[i].enabled, expected) << ids[i];
        }
    }
}

TEST(TrayMenu, TextsTranslatedExceptPhpMyAdmin_ToggleNamesTheWindowState) {
    SetLanguage("fr");
    const std::vector<TrayMenuEntry> menu = BuildTrayMenu(ServerStatus{}, false);
    EXPECT_EQ(menu[0].text, "Afficher Zerva");
    EXPECT_EQ(menu[5].text, "Apache / MySQL");
    EXPECT_EQ(menu[5].submenu[3].text, "Arrêter MySQL seulement");
    EXPECT_EQ(menu[8].text, "phpMyAdmin");
    EXPECT_EQ(menu[9].text, "Dossier www");
    EXPECT_EQ(menu.back().text, "Quitter");
    SetLanguage("en");
    EXPECT_EQ(BuildTrayMenu(ServerStatus{}, true)[0].text, "Hide Zerva");
    EXPECT_EQ(BuildTrayMenu(ServerStatus{}, false)[0].text, "Show Zerva");
}

TEST(TrayIcon, IconByRunningCount_TooltipCutAndSentOnlyWhenChanged) {
    EXPECT_EQ(TrayIconResource(0), 102);
    EXPECT_EQ(TrayIconResource(1), 103);
    EXPECT_EQ(TrayIconResource(2), 104);

    TrayShown shown;  // what the icon shows once added
    struct Step {
        int state;
        std::wstring tooltip;
        bool newIcon, send;
    };
    const std::wstring longTip(200, L'x');
    const Step steps[] = {
        {0, L"Zerva", false, false},
        {0, L"Zerva - Apache: stopped", false, true},
        {0, L"Zerva - Apache: stopped", false, false},
        {1, L"Zerva - Apache: stopped", true, true},
        {2, longTip, true, true},
        {2, longTip + L"more", false, false},  // the same 127 units
    };
    for (const Step& step : steps) {
        const TrayChange change = UpdateTrayShown(shown, step.state, step.tooltip);
        EXPECT_EQ(change.newIcon, step.newIcon) << step.state;
        EXPECT_EQ(change.send, step.send) << step.state;
    }
    EXPECT_EQ(shown.tooltip, longTip.substr(0, 127));
}

TEST(TrayBalloons, OnlyTheNewestAlertSinceTheLastHiddenPass) {
    BalloonChooser chooser;
    Server& server = Server::Instance();
    EXPECT_FALSE(chooser.HiddenPass());
    server.PushAlert("first", "one", true, alert_action::kNone);
    server.PushAlert("second", "two", false, alert_action::kApache);
    const std::optional<Alert> shown = chooser.HiddenPass();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->title, "second");
    EXPECT_EQ(shown->message, "two");
    EXPECT_FALSE(chooser.HiddenPass()) << "shown once";
    server.PushAlert("seen", "while visible", true, alert_action::kNone);
    chooser.VisiblePass();
    EXPECT_FALSE(chooser.HiddenPass()) << "alerts seen while visible never become balloons";
    server.PushAlert("third", "three", true, alert_action::kNone);
    EXPECT_EQ(chooser.HiddenPass()->title, "third");
    // Every alert stays queued for the window.
    Alert alert;
    int queued = 0;
    while (server.PopAlert(alert)) ++queued;
    EXPECT_EQ(queued, 4);
}

}  // namespace
