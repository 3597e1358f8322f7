// tests/ui/ui_fixture.h: what the interface tests share: a scratch root with its own settings,
// stand-in builds on demand (the control fixture's), a fresh UiState, every online address sent to
// a closed loopback port, the headless harness, and the texts Tr was given without French.
#pragma once
#include <windows.h>

#include <set>
#include <string>

#include "core/online.h"
#include "core/translate.h"
#include "tests/control/control_fixture.h"
#include "tests/support/testkit.h"
#include "tests/ui/imgui_harness.h"
#include "ui/state.h"
#include "ui/ui.h"

namespace uitest {

// Collects, while alive, every text Tr was given in French that the table lacks; French is on.
class UntranslatedRecorder {
public:
    UntranslatedRecorder() {
        Texts().clear();
        SetLanguage("fr");
        SetUntranslatedSink([](const char* text) { Texts().insert(text); });
    }
    ~UntranslatedRecorder() {
        SetUntranslatedSink(nullptr);
        SetLanguage("en");
    }
    // Names that stay as they are in French are left out.
    static std::set<std::string> Missing() {
        static const std::set<std::string> kNames = {"Apache", "PHP", "MySQL", "MariaDB", "phpMyAdmin", "Zerva",
                                                     "OK", "php.ini", "phpinfo", "phpinfo()"};
        std::set<std::string> missing;
        for (const std::string& text : Texts())
            if (!kNames.count(text)) missing.insert(text);
        return missing;
    }

private:
    static std::set<std::string>& Texts() {
        static std::set<std::string> texts;
        return texts;
    }
};

class UiTest : public controltest::ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        static const UiState kFresh;  // assigned from a named record: GCC 12 misreads a temporary
        ui::State() = kFresh;
        ui::Toasts().clear();
        const std::string closed = "http://127.0.0.1:" + std::to_string(testkit::UnusedPort());
        ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(closed).c_str());
        Config::Instance().Set(setting::kUpdateUrl, closed + "/update.json");
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
        SetLanguage("en");
        ControlTest::TearDown();
    }
    // One frame of the whole interface.
    void Frame() { harness.RawFrame([] { ui::Frame(); }); }
    // Bare frames: the harness repeats its last way of drawing, which before any RawFrame is
    // inside a window of its own that would cover the interface.
    void Frames(int count) {
        for (int i = 0; i < count; ++i) Frame();
    }
    bool Click(std::string_view label) { return harness.Click(label, [] { ui::Frame(); }); }
    // What one more frame of the whole interface writes on screen (Harness::DrawnText).
    std::string DrawnText() { return harness.DrawnText([] { ui::Frame(); }); }
    // The Apache, PHP and MariaDB stand-in builds, current, on ports of their own.
    void MakeStack() {
        MakeApache(LeasedPort());
        MakePhp();
        MakeMariaDb(LeasedPort());
        ui::RefreshInstalls(true);
    }

    Harness harness;
};

}  // namespace uitest
