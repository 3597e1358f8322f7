// ui/imgui_compat.h: the few style colours and flags whose names changed between Dear ImGui
// releases, under the newer names the interface uses. Moving to another Dear ImGui release
// changes this file only.
#pragma once
#include "imgui.h"

namespace ui::compat {

#if IMGUI_VERSION_NUM >= 19090
inline constexpr ImGuiCol kColTabSelected = ImGuiCol_TabSelected;
inline constexpr ImGuiCol kColTabDimmed = ImGuiCol_TabDimmed;
inline constexpr ImGuiCol kColTabDimmedSelected = ImGuiCol_TabDimmedSelected;
// The line over the selected tab; older releases draw none, so its colour has nowhere to go.
inline constexpr bool kHasTabSelectedOverline = true;
inline constexpr ImGuiCol kColTabSelectedOverline = ImGuiCol_TabSelectedOverline;
#else
inline constexpr ImGuiCol kColTabSelected = ImGuiCol_TabActive;
inline constexpr ImGuiCol kColTabDimmed = ImGuiCol_TabUnfocused;
inline constexpr ImGuiCol kColTabDimmedSelected = ImGuiCol_TabUnfocusedActive;
inline constexpr bool kHasTabSelectedOverline = false;
inline constexpr ImGuiCol kColTabSelectedOverline = ImGuiCol_COUNT;
#endif

#if IMGUI_VERSION_NUM >= 19140
inline constexpr ImGuiCol kColNavCursor = ImGuiCol_NavCursor;
#else
inline constexpr ImGuiCol kColNavCursor = ImGuiCol_NavHighlight;
#endif

#if IMGUI_VERSION_NUM >= 19110
inline constexpr ImGuiChildFlags kChildBorders = ImGuiChildFlags_Borders;
#else
inline constexpr ImGuiChildFlags kChildBorders = ImGuiChildFlags_Border;
#endif

}  // namespace ui::compat
