#pragma once
// A tree of the shell's folders rooted at My Computer: the drives, then their
// subfolders, each level read when its parent is first expanded, with the
// system's small icons.

#include "win/control.h"

#include <commctrl.h>
#include <shlobj.h>

#include <functional>

namespace fw::win {

struct ShellFolderTreeArgs {
    ControlPlace place;
    int indent = 19;
    COLORREF textColor = CLR_DEFAULT;
};

class ShellFolderTree : public Control {
public:
    ShellFolderTree() = default;
    ~ShellFolderTree() override;

    // Needs OLE on the thread (an OleScope).
    void Create(const ShellFolderTreeArgs& args);

    HTREEITEM Root() const { return root_; }
    // The file system path of an item ("C:\" for the drive, "C:\Games" for a
    // folder); empty for none or for a folder outside the file system.
    std::wstring PathOf(HTREEITEM item) const;
    std::wstring SelectedPath() const;
    // Reads an item's subfolders if not done yet, and opens it.
    void Expand(HTREEITEM item);
    std::wstring TextOf(HTREEITEM item) const;

    // A click, once the selection has followed it: the selected folder's path
    // (empty where none is selected or it is outside the file system).
    std::function<void(const std::wstring& path)> onSelect;

protected:
    bool OnNotify(NMHDR& hdr, LRESULT& result) override;
    bool OnOwnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    HTREEITEM AddItem(HTREEITEM parent, PIDLIST_ABSOLUTE pidl, bool hasChildren);
    void FillChildren(HTREEITEM item);
    PIDLIST_ABSOLUTE PidlOf(HTREEITEM item) const;

    HTREEITEM root_ = nullptr;
};

} // namespace fw::win
