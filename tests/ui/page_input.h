// tests/ui/page_input.h: what page tests do to items named by their fixed id (the part after "###"
// or "##", so the visible text may change language): find, click, type into, read the toasts; a
// file held open the way another program may hold it, or one that cannot be written; and a fixture
// drawing one page alone.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/files.h"
#include "core/handle.h"
#include "imgui_internal.h"
#include "tests/ui/imgui_harness.h"
#include "tests/ui/ui_fixture.h"
#include "ui/confirm.h"
#include "ui/shell.h"
#include "ui/state.h"

namespace uitest {

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The last item of the last frame whose label ends with "##" or "###" and the id; null when none.
inline const Item* FindId(const Harness& harness, std::string_view id) {
    const std::vector<std::string> labels = harness.Labels();
    for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
        const size_t marks = it->rfind("##");
        if (marks != std::string::npos && std::string_view(*it).substr(marks + 2) == id) return harness.Find(*it);
    }
    return nullptr;
}

// The window whose name ends with "/" + `child` + "_" and its id (a child window), or else the
// window named `child` itself; null when neither is there.
inline ImGuiWindow* ChildWindow(const Harness& harness, std::string_view child) {
    std::string name(child);
    const std::string marker = "/" + name + "_";
    for (const std::string& candidate : harness.Labels())
        if (candidate.find(marker) != std::string::npos) name = candidate;
    return ImGui::FindWindowByName(name.c_str());
}

// The id of the item `label` drawn straight into that window. For items whose labels are not
// recorded, such as combo boxes; 0 when the window is not there.
inline ImGuiID IdInWindow(const Harness& harness, std::string_view child, const char* label) {
    ImGuiWindow* window = ChildWindow(harness, child);
    return window ? window->GetID(label) : 0;
}

inline bool Enabled(const Harness& harness, std::string_view id) {
    const Item* item = FindId(harness, id);
    return item && !item->disabled;
}

inline bool ClickId(Harness& harness, std::string_view id, const Harness::Draw& draw) {
    const Item* item = FindId(harness, id);
    return item && harness.Click(item->label, draw);
}

// Clicks into the text field, selects what it holds, types `text` over it (an empty text deletes
// it) and leaves the field with Enter, as a user would.
inline bool TypeInto(Harness& harness, std::string_view id, const std::string& text, const Harness::Draw& draw) {
    if (!ClickId(harness, id, draw)) return false;
    ImGuiIO& io = ImGui::GetIO();
    io.AddKeyEvent(ImGuiMod_Ctrl, true);
    harness.PressKey(ImGuiKey_A, draw);
    io.AddKeyEvent(ImGuiMod_Ctrl, false);
    if (text.empty()) harness.PressKey(ImGuiKey_Delete, draw);
    else io.AddInputCharactersUTF8(text.c_str());
    harness.Frames(1, draw);
    harness.PressKey(ImGuiKey_Enter, draw);
    return true;
}

// The toasts queued so far as "text" or "! text" for errors, oldest first.
inline std::vector<std::string> ToastTexts() {
    std::vector<std::string> texts;
    for (const ::Toast& toast : ui::Toasts()) texts.push_back((toast.error ? "! " : "") + toast.text);
    return texts;
}

// Holds a file open without sharing for its lifetime, as an editor or a virus scanner may.
struct HeldFile {
    explicit HeldFile(const std::wstring& path)
        : handle(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_TRUE(handle);
    }
    UniqueHandle handle;
};

// While alive, an atomic write of the file fails: a folder holds its temporary copy's name.
struct WriteBlocked {
    explicit WriteBlocked(const std::wstring& path) : blocker(path + L".zvtmp") { EXPECT_TRUE(EnsureDirectory(blocker)); }
    ~WriteBlocked() { EXPECT_TRUE(RemoveTree(blocker)); }
    std::wstring blocker;
};

// One page drawn alone with the confirm dialog over it, the shell calls recorded.
class PageAlone : public UiTest {
protected:
    explicit PageAlone(void (*page)()) : draw([page] {
        page();
        ui::DrawConfirmDialog();
    }) {}
    void SetUp() override {
        UiTest::SetUp();
        ui::RecordShellCallsForTests(&calls);
    }
    void TearDown() override {
        ui::RecordShellCallsForTests(nullptr);
        UiTest::TearDown();
    }
    void Draw(int frames = 2) {
        for (int i = 0; i < frames; ++i) harness.Frame(draw);
    }
    bool ClickOn(std::string_view id) { return ClickId(harness, id, draw); }
    bool On(std::string_view id) const { return Enabled(harness, id); }
    bool Type(std::string_view id, const std::string& text) { return TypeInto(harness, id, text, draw); }
    // Opens the dropdown drawn into `window` and picks its item.
    bool Choose(std::string_view window, const char* dropdown, const std::string& item, int index) {
        return harness.Click(IdInWindow(harness, window, dropdown), draw) &&
               harness.Click(item + "##" + std::to_string(index), draw);
    }

    Harness::Draw draw;
    std::vector<ui::ShellCall> calls;
};

}  // namespace uitest
