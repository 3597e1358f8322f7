// ui/imgui_hooks.cpp: compiled into the Dear ImGui library, which calls these functions directly.
#include "ui/imgui_hooks.h"

#include "imgui_internal.h"

namespace {

imgui_hooks::ItemSink g_sink;
void (*g_assertHandler)(const char*, const char*, int) = nullptr;

}  // namespace

namespace imgui_hooks {

void SetItemSink(const ItemSink& sink) { g_sink = sink; }
void SetAssertHandler(void (*handler)(const char*, const char*, int)) { g_assertHandler = handler; }

}  // namespace imgui_hooks

void ZervaImGuiAssert(const char* expression, const char* file, int line) {
    if (g_assertHandler) g_assertHandler(expression, file, line);
}

void ImGuiTestEngineHook_ItemAdd(ImGuiContext* ctx, ImGuiID id, const ImRect& bb, const ImGuiLastItemData* item) {
    if (!g_sink.added) return;
    // Items registered outside ItemAdd come without their data; the flags in force then apply.
    const ImGuiItemFlags flags = item ? item->InFlags : ctx->CurrentItemFlags;
    g_sink.added(id, bb.Min, bb.Max, (flags & ImGuiItemFlags_Disabled) != 0);
}

void ImGuiTestEngineHook_ItemInfo(ImGuiContext*, ImGuiID id, const char* label, ImGuiItemStatusFlags) {
    if (g_sink.labelled && label) g_sink.labelled(id, label);
}

void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}

const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID) { return nullptr; }
