#include "ui/confirm.h"

#include "core/translate.h"
#include "imgui_internal.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace ui {

void RequestConfirm(std::string title, std::string message, std::string okLabel, bool danger,
                    std::function<void()> onConfirm) {
    State().confirms.push_back(
        ConfirmRequest{std::move(title), std::move(message), std::move(okLabel), danger, std::move(onConfirm)});
}

bool OpenDialogInTurn(const char* popupId) {
    if (ImGui::IsPopupOpen(popupId)) return true;
    if (ImGui::IsPopupOpen(nullptr, ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel)) return false;
    ImGui::OpenPopup(popupId);
    return true;
}

bool TakeEscape() {
    // Without key repeat: a held Escape would answer one dialog after another, each opening
    // under a key the user pressed for the first.
    if (!ImGui::IsKeyPressed(ImGuiKey_Escape, false)) return false;
    // Locked to an owner for the rest of the frame: every later poll without an owner sees nothing.
    ImGui::SetKeyOwner(ImGuiKey_Escape, ImHashStr("##dialog_escape"), ImGuiInputFlags_LockThisFrame);
    return true;
}

void DrawConfirmDialog() {
    auto& queue = State().confirms;
    if (queue.empty() || !OpenDialogInTurn("###confirm")) return;
    const float s = Scale();
    ImGui::SetNextWindowSize(ImVec2(500 * s, 0));
    ImGui::SetNextWindowPos(ImGui::GetMainViewport()->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ConfirmRequest& request = queue.front();
    const std::string title = request.title + "###confirm";
    if (!ImGui::BeginPopupModal(title.c_str(), nullptr, ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoSavedSettings))
        return;
    ImGui::TextWrapped("%s", request.message.c_str());
    ImGui::Spacing();
    ImGui::Separator();
    ImGui::Spacing();

    const ImVec2 size(140 * s, 0);
    ImGui::SetCursorPosX(ContentRightX() - 2 * 140 * s - 10 * s);
    const bool ok = request.danger ? DangerButton(nullptr, request.okLabel.c_str(), "confirm_ok", size)
                                   : AccentButton(nullptr, request.okLabel.c_str(), "confirm_ok", size);
    ImGui::SameLine();
    const bool cancel = Button(nullptr, Tr("Cancel"), "confirm_cancel", size);
    if (ok) {
        std::function<void()> callback = std::move(request.onConfirm);
        queue.pop_front();
        ImGui::CloseCurrentPopup();
        // Run last: the callback may queue another question.
        if (callback) callback();
    } else if (cancel || TakeEscape()) {
        queue.pop_front();
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

}  // namespace ui
