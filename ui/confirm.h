// ui/confirm.h: the confirmation dialog fed by the queue in UiState, and the one rule every
// window-level dialog opens by. GUI thread, inside a frame.
#pragma once
#include <functional>
#include <string>

// A question that guards a dangerous or replacing action.
struct ConfirmRequest {
    std::string title;                // translated
    std::string message;              // translated
    std::string okLabel;              // translated label of the confirm button
    bool danger = false;              // the confirm button in the danger colour
    std::function<void()> onConfirm;  // run on the GUI thread once confirmed; may be empty
};

namespace ui {

// Queues a question; questions are asked one at a time, oldest first.
void RequestConfirm(std::string title, std::string message, std::string okLabel, bool danger,
                    std::function<void()> onConfirm);
// Shows the oldest question and acts on its answer. Called once per frame.
void DrawConfirmDialog();

// Opens the window-level popup with this id ("###confirm") when no popup at all is open, and
// reports whether it is open now. Opening a root popup closes any other one, so two dialogs
// opened every frame would close each other for ever while the hidden one blocks all input: a
// dialog that is due waits its turn instead.
bool OpenDialogInTurn(const char* popupId);
// True once per Escape press, however long the key is held: the dialog that takes it answers, and
// a dialog that opens later in the same frame (after the first one closed) does not see the same
// press as its own answer.
bool TakeEscape();

}  // namespace ui
