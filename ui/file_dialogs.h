// ui/file_dialogs.h: the shell's own file and folder pickers. GUI thread (modal: they return when
// the user closes them); COM must be initialised on the thread.
#pragma once
#include <string>

// The chosen path in UTF-8; empty when cancelled or when the dialog cannot be shown.
std::string ShellOpenDialog(bool pickFolder, const std::string& title, const std::string& initialFolder,
                            const std::string& filterName, const std::string& filterPattern);
// A file that exists; with a filter name, the filter and "*.*" are offered.
std::string PickFile(const std::string& title, const std::string& filterName, const std::string& filterPattern);
std::string PickFolder(const std::string& title, const std::string& initialFolder);
