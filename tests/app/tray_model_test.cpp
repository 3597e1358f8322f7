// The tray's menu, icon, tooltip, balloon choice and the gestures behind its notifications.
#include "app/tray_model.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "core/translate.h"

namespace {

// The menu as ids in order, "-" before a disabled one, "|" for a separator, the submenu in [].
std::string Layout(const std::vector<TrayMenuEntry>& entries) {
    std::string out;
    for (const TrayMenuEntry& entry : entries) {
        if (!entry.submenu.empty()) {
            out += '[';
            out += Layout(entry.submenu);
            out += "] ";
        } else if (entry.id == 0) {
            out += "| ";
        } else {
            if (!entry.enabled) out += '-';
            out += std::to_string(entry.id);
            out += ' ';
        }
    }
    return out;
}

TEST(TrayMenu, OrderAndEnabledStatesByServerStatus) {
    struct Case {
        bool apache, mysql, busy;
        std::string layout;
    };
    const Case cases[] = {
        {false, false, false, "1000 | 1001 -1002 -1003 [1008 -1009 1010 -1011 ] | -1004 -1005 1006 | 1007 "},
        {true, false, false, "1000 | 1001 1002 1003 [-1008 1009 1010 -1011 ] | 1004 1005 1006 | 1007 "},
        {false, true, false, "1000 | 1001 1002 1003 [1008 -1009 -1010 1011 ] | -1004 -1005 1006 | 1007 "},
        // Both running and a job busy: the server-wide items are grey, the single ones are not.
        {true, true, true, "1000 | -1001 -1002 -1003 [-1008 1009 -1010 1011 ] | 1004 1005 1006 | 1007 "},
    };
    for (const Case& c : cases) {
        ServerStatus status;
        status.apache.running = c.apache;
        status.mysql.running = c.mysql;
        status.busy = c.busy;
        EXPECT_EQ(Layout(BuildTrayMenu(status, true)), c.layout);
    }
}

TEST(TrayMenu, TextsTranslatedExceptPhpMyAdmin_ToggleNamesTheWindowState) {
    SetLanguage("fr");
    const std::vector<TrayMenuEntry> menu = BuildTrayMenu(ServerStatus{}, false);
    EXPECT_EQ(menu[0].text, "Afficher Zerva");
    EXPECT_EQ(menu[5].submenu[3].text, "Arrêter MySQL seulement");
    EXPECT_EQ(menu[8].text, "phpMyAdmin");
    EXPECT_EQ(menu.back().text, "Quitter");
    SetLanguage("en");
    EXPECT_EQ(BuildTrayMenu(ServerStatus{}, true)[0].text, "Hide Zerva");
}

TEST(TrayIcon, IconByRunningCount_TooltipCutAndSentOnlyWhenChanged) {
    EXPECT_EQ(TrayIconResource(0), 102);
    EXPECT_EQ(TrayIconResource(1), 103);
    EXPECT_EQ(TrayIconResource(2), 104);
    TrayShown shown;  // as the icon was added
    const std::wstring longTip(200, L'x');
    struct Step {
        int state;
        std::wstring tooltip;
        bool newIcon, send;
    };
    for (const Step& step : {Step{0, L"Zerva", false, false}, Step{0, L"Zerva - Apache", false, true},
                             Step{0, L"Zerva - Apache", false, false}, Step{1, L"Zerva - Apache", true, true},
                             Step{2, longTip, true, true}, Step{2, longTip + L"more", false, false}}) {
        const TrayChange change = UpdateTrayShown(shown, step.state, step.tooltip);
        EXPECT_TRUE(change.newIcon == step.newIcon && change.send == step.send) << step.state;
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
    EXPECT_TRUE(shown->title == "second" && shown->message == "two");
    EXPECT_FALSE(chooser.HiddenPass()) << "shown once";
    server.PushAlert("seen", "while visible", true, alert_action::kNone);
    chooser.VisiblePass();
    EXPECT_FALSE(chooser.HiddenPass()) << "alerts seen while visible never become balloons";
    server.PushAlert("third", "three", true, alert_action::kNone);
    EXPECT_EQ(chooser.HiddenPass()->title, "third");
    // Raised right after a pass read the alert block: the next pass's balloon, never seen unshown.
    SetAfterAlertReadForTest([] {
        SetAfterAlertReadForTest(nullptr);
        QueueAlert(Alert{"between", "", true, 0});
    });
    server.PushAlert("fourth", "four", true, alert_action::kNone);
    const std::string fourth = chooser.HiddenPass().value_or(Alert{}).title;
    EXPECT_EQ(fourth + ", " + chooser.HiddenPass().value_or(Alert{}).title, "fourth, between");
    Alert alert;
    int queued = 0;
    while (server.PopAlert(alert)) ++queued;
    EXPECT_EQ(queued, 6) << "every alert stays queued for the window";
}

TEST(TrayGestures, OneClickOrEnterTogglesOnce_OneRightClickOpensOneMenu_LaterGesturesCountAgain) {
    constexpr uint64_t kDoubleClick = 500;
    struct Step {
        const char* name;
        std::vector<std::pair<unsigned, uint64_t>> notifications;  // event, time received
        bool toggle, menu;                                          // taken by the loop's pass after them
    };
    const Step steps[] = {
        {"left click", {{WM_LBUTTONUP, 1000}, {NIN_SELECT, 1000}}, true, false},
        {"Enter", {{NIN_KEYSELECT, 2000}, {NIN_KEYSELECT, 2001}}, true, false},
        {"a click whose pair is split across two passes", {{WM_LBUTTONUP, 3000}}, true, false},
        {"its second half", {{NIN_SELECT, 3005}}, false, false},
        {"right click", {{WM_RBUTTONUP, 4000}, {WM_CONTEXTMENU, 4010}}, false, true},
        {"a right click whose menu opens before its second half", {{WM_RBUTTONUP, 5000}}, false, true},
        {"its second half, received while the menu was open", {{WM_CONTEXTMENU, 5020}}, false, false},
        {"the menu key", {{WM_CONTEXTMENU, 7000}}, false, true},
        {"a click", {{WM_LBUTTONUP, 8000}, {NIN_SELECT, 8000}}, true, false},
        {"a second click within the double-click time", {{WM_LBUTTONUP, 8499}, {NIN_SELECT, 8499}}, false, false},
        {"a click the double-click time later", {{WM_LBUTTONUP, 8500}, {NIN_SELECT, 8501}}, true, false},
        {"left and right at once", {{WM_LBUTTONUP, 10000}, {WM_RBUTTONUP, 10001}}, true, true},
        {"notifications that ask nothing",
         {{WM_MOUSEMOVE, 20000}, {WM_LBUTTONDOWN, 20000}, {NIN_POPUPOPEN, 20000}, {WM_LBUTTONDBLCLK, 20000}},
         false, false},
    };
    TrayGestures gestures;
    for (const Step& step : steps) {
        for (const auto& [event, tick] : step.notifications) gestures.Record(event, tick, kDoubleClick);
        const TrayRequests taken = gestures.Take();
        EXPECT_TRUE(taken.toggle == step.toggle && taken.menu == step.menu) << step.name;
    }
}

}  // namespace
