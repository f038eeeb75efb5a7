#pragma once
// A tree of the shell's folders rooted at My Computer: the drives, then their
// subfolders, each level read when its parent is first expanded, with the
// system's small icons.

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <string>

namespace fw::win {

struct ShellFolderTreeArgs {
    HWND parent = nullptr;
    int id = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    HFONT font = nullptr;
    bool visible = true;
    int indent = 19;
    COLORREF textColor = CLR_DEFAULT;
};

class ShellFolderTree {
public:
    ShellFolderTree() = default;
    ~ShellFolderTree();
    ShellFolderTree(const ShellFolderTree&) = delete;
    ShellFolderTree& operator=(const ShellFolderTree&) = delete;

    // Needs COM on the thread (the application initialises it).
    void Create(const ShellFolderTreeArgs& args);
    HWND Handle() const { return hwnd_; }
    bool Visible() const;
    void SetVisible(bool visible);

    // The parent passes its WM_NOTIFY from the tree here first; true when the
    // tree handled it (then `result` is the answer).
    bool HandleNotify(NMHDR* hdr, LRESULT& result);

    HTREEITEM Root() const { return root_; }
    // The file system path of an item ("C:\" for the drive, "C:\Games" for a
    // folder); empty for none or for a folder outside the file system.
    std::wstring PathOf(HTREEITEM item) const;
    std::wstring SelectedPath() const;
    // Reads an item's subfolders if not done yet, and opens it.
    void Expand(HTREEITEM item);
    std::wstring TextOf(HTREEITEM item) const;

private:
    HTREEITEM AddItem(HTREEITEM parent, PIDLIST_ABSOLUTE pidl, bool hasChildren);
    void FillChildren(HTREEITEM item);
    PIDLIST_ABSOLUTE PidlOf(HTREEITEM item) const;

    HWND hwnd_ = nullptr;
    HTREEITEM root_ = nullptr;
};

} // namespace fw::win
