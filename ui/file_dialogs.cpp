#include "ui/file_dialogs.h"

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "core/text.h"

using Microsoft::WRL::ComPtr;

std::string ShellOpenDialog(bool pickFolder, const std::string& title, const std::string& initialFolder,
                            const std::string& filterName, const std::string& filterPattern) {
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
        return {};
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    options |= (pickFolder ? FOS_PICKFOLDERS : FOS_FILEMUSTEXIST) | FOS_FORCEFILESYSTEM;
    dialog->SetOptions(options);
    const std::wstring wideTitle = Utf8ToWide(title);
    dialog->SetTitle(wideTitle.c_str());

    // The filter texts must live until Show returns.
    const std::wstring name = Utf8ToWide(filterName), pattern = Utf8ToWide(filterPattern);
    if (!pickFolder && !filterName.empty()) {
        const COMDLG_FILTERSPEC types[] = {{name.c_str(), pattern.c_str()}, {L"*.*", L"*.*"}};
        dialog->SetFileTypes(2, types);
    }
    if (!initialFolder.empty()) {
        ComPtr<IShellItem> folder;
        if (SUCCEEDED(::SHCreateItemFromParsingName(Utf8ToWide(initialFolder).c_str(), nullptr,
                                                    IID_PPV_ARGS(&folder))))
            dialog->SetFolder(folder.Get());
    }
    if (FAILED(dialog->Show(::GetActiveWindow()))) return {};
    ComPtr<IShellItem> result;
    if (FAILED(dialog->GetResult(&result))) return {};
    PWSTR path = nullptr;
    if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return {};
    std::string utf8 = WideToUtf8(path);
    ::CoTaskMemFree(path);
    return utf8;
}

std::string PickFile(const std::string& title, const std::string& filterName, const std::string& filterPattern) {
    return ShellOpenDialog(false, title, {}, filterName, filterPattern);
}

std::string PickFolder(const std::string& title, const std::string& initialFolder) {
    return ShellOpenDialog(true, title, initialFolder, {}, {});
}
