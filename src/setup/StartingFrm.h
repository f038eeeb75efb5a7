#pragma once
// The setup dialog of the installation: it asks for the target folder (a path
// field, or a folder picked from a tree) and shows the notices of the
// installation in the same window. The installation chooses the layout; the
// dialog keeps the OK button consistent with the path field.

#include <windows.h>

#include <memory>
#include <string>

#include "win/button.h"
#include "win/edit.h"
#include "win/form.h"
#include "win/handle.h"
#include "win/label.h"
#include "win/shell_folder_tree.h"

namespace fw {

inline constexpr std::wstring_view kStartingCaption = L"Установка \"Тавилон\"";
inline constexpr std::wstring_view kContinueCaption = L"Продолжить";
inline constexpr std::wstring_view kExitCaption = L"Выход";

class TStartingForm : public win::Form {
public:
    // Creates the dialog hidden, centred on the desktop and above other windows.
    static std::unique_ptr<TStartingForm> Create();

    // Path prompt: the label text, the path field holding the default folder,
    // "…" and "Продолжить" shown, the tree hidden; shown modally. Returns the
    // modal result: win::mrOk after "Продолжить", win::mrCancel after the
    // close box.
    int ShowPathPrompt(const std::wstring& label, const std::wstring& defaultFolder);
    // Space shortage: only the label changes; shown modally again.
    int ShowShortage(const std::wstring& label);
    // Copying notice: the label alone, the hourglass as the screen cursor,
    // shown without being modal. The caller handles pending messages once so
    // that it is painted before the copy starts.
    void ShowCopyingNotice(const std::wstring& label);
    // Failure notice: the label and the button captioned "Выход" (enabled as
    // the path field left it); shown modally once.
    int ShowFailureNotice(const std::wstring& label);

    // The path field's text, as the user left it.
    std::wstring PathText() const { return Edit1.Text(); }

    // The components, under their design names.
    win::Label Label1;
    win::Edit Edit1;
    win::Edit MaskEdit1;
    win::Button OKButton;
    win::Button PathBtn;
    win::ShellFolderTree ShellTreeView;

    // The designed mask of MaskEdit1 (four groups of up to three digits).
    static constexpr std::wstring_view kMaskEdit1Mask = L"!999\\.999\\.999\\.999;1;0";

    // Event handlers.
    void FormCreate();
    void Edit1Change();
    void OKButtonClick();
    void PathBtnClick();
    void ShellTreeViewClick(const std::wstring& path);

protected:
    TStartingForm();

private:
    // Shows the label with the OK button below it at the height given.
    void ShowNotice(const std::wstring& label, int clientHeight);

    win::GdiObject font_;
};

} // namespace fw
