#include "tests/ui/imgui_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "imgui_internal.h"
#include "ui/imgui_hooks.h"

namespace uitest {
namespace {

std::vector<Item>* g_items = nullptr;
std::string* g_log = nullptr;  // while set, the frame's text log goes here

void OnAdded(ImGuiID id, const ImVec2& min, const ImVec2& max, bool disabled) {
    // Dear ImGui ends its text log with every window that is not a child (a popup, a tooltip): the
    // next window or item starts it again, so the log holds the text of every window.
    if (g_log && !GImGui->LogEnabled) ImGui::LogToClipboard();
    if (g_items) g_items->push_back(Item{id, {}, min, max, disabled});
}

void OnLabelled(ImGuiID id, const char* label) {
    if (!g_items) return;
    for (auto it = g_items->rbegin(); it != g_items->rend(); ++it)
        if (it->id == id) return void(it->label = label);
}

void OnAssert(const char* expression, const char* file, int line) {
    ADD_FAILURE() << "Dear ImGui assertion failed: " << expression << " (" << file << ":" << line << ")";
}

template <typename Match>
const Item* FindLast(const std::vector<Item>& items, Match match) {
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        if (match(*it)) return &*it;
    return nullptr;
}

}  // namespace

Harness::Harness(ImVec2 displaySize) {
    m_context = ImGui::CreateContext();
    m_context->TestEngineHookItems = true;
    imgui_hooks::SetItemSink({OnAdded, OnLabelled});
    imgui_hooks::SetAssertHandler(OnAssert);
    g_items = &m_items;
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = io.LogFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    io.DisplaySize = displaySize;
    io.DeltaTime = 1.0f / 60.0f;
}

Harness::~Harness() {
    g_items = nullptr;
    imgui_hooks::SetItemSink({});
    ImGui::DestroyContext(m_context);
    imgui_hooks::SetAssertHandler(nullptr);
}

void Harness::Run(const Draw& draw, bool wrap) {
    m_wrap = wrap;
    ImGuiIO& io = ImGui::GetIO();
    if (!io.Fonts->IsBuilt()) io.Fonts->Build();  // in memory only: no renderer makes a texture here
    m_items.clear();
    ImGui::NewFrame();
    if (wrap) {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(io.DisplaySize);
        ImGui::Begin("###root", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings |
                                             ImGuiWindowFlags_NoBringToFrontOnFocus);
    }
    // Logging also lifts the clipping of items, so it runs only in the frame that asks for it.
    if (g_log) ImGui::LogToClipboard();
    if (draw) draw();
    if (g_log) ImGui::LogFinish();
    if (wrap) ImGui::End();
    ImGui::Render();
}

void Harness::Frames(int count, const Draw& draw) {
    for (int i = 0; i < count; ++i) Run(draw, m_wrap);
}

const Item* Harness::Find(std::string_view label) const {
    return FindLast(m_items, [&](const Item& item) { return item.label == label; });
}

const Item* Harness::Find(ImGuiID id) const {
    return FindLast(m_items, [&](const Item& item) { return item.id == id; });
}

std::vector<std::string> Harness::Labels() const {
    std::vector<std::string> labels;
    for (const Item& item : m_items)
        if (!item.label.empty()) labels.push_back(item.label);
    return labels;
}

bool Harness::MoveTo(const Item* item) {
    if (item) ImGui::GetIO().AddMousePosEvent((item->min.x + item->max.x) / 2, (item->min.y + item->max.y) / 2);
    return item != nullptr;
}

bool Harness::Click(const Item* item, const Draw& draw) {
    if (!MoveTo(item)) return false;
    for (const bool down : {true, false}) {
        Frames(1, draw);
        ImGui::GetIO().AddMouseButtonEvent(ImGuiMouseButton_Left, down);
    }
    // A window the click opens appears hidden for one frame while it measures itself.
    Frames(2, draw);
    return true;
}

bool Harness::Hover(std::string_view label, const Draw& draw) {
    if (!MoveTo(Find(label))) return false;
    Frames(60, draw);  // one second: past the short hover delay and the stationary wait
    return true;
}

std::string Harness::DrawnText(const Draw& draw) {
    // Each end of the log hands its text to the clipboard, here collected.
    std::string text;
    ImGuiIO& io = ImGui::GetIO();
    const auto clipboard = io.SetClipboardTextFn;
    void* const clipboardData = io.ClipboardUserData;
    io.SetClipboardTextFn = [](void* collected, const char* part) { *static_cast<std::string*>(collected) += part; };
    io.ClipboardUserData = &text;
    g_log = &text;
    Run(draw, m_wrap);
    g_log = nullptr;
    io.SetClipboardTextFn = clipboard;
    io.ClipboardUserData = clipboardData;
    return text;
}

void Harness::PressKey(ImGuiKey key, const Draw& draw) {
    for (const bool down : {true, false}) {
        ImGui::GetIO().AddKeyEvent(key, down);
        Frames(1, draw);
    }
}

std::string Hex(const ImVec4& color) {
    char text[16];
    auto byte = [](float v) { return int(std::lround(v * 255.0f)); };
    std::snprintf(text, sizeof text, "#%02X%02X%02X", byte(color.x), byte(color.y), byte(color.z));
    return text;
}

}  // namespace uitest
