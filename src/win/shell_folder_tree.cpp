#include "win/shell_folder_tree.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "win/error.h"

namespace fw::win {
namespace {

// A COM pointer released at the end of its scope.
template <typename T> class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (p_) {
            p_->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Put() { return &p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Small icon index and display name of a shell item.
int IconOf(PCIDLIST_ABSOLUTE pidl, UINT extra) {
    SHFILEINFOW info{};
    ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof(info),
                     SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | extra);
    return info.iIcon;
}

std::wstring NameOf(PCIDLIST_ABSOLUTE pidl) {
    SHFILEINFOW info{};
    ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof(info),
                     SHGFI_PIDL | SHGFI_DISPLAYNAME);
    return info.szDisplayName;
}

} // namespace

ShellFolderTree::~ShellFolderTree() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        // Deleting the items frees their PIDLs (TVN_DELETEITEM goes to the
        // parent, which may be gone already), so free them here.
        struct Walk {
            static void Free(HWND tree, HTREEITEM item) {
                for (; item; item = TreeView_GetNextSibling(tree, item)) {
                    Free(tree, TreeView_GetChild(tree, item));
                    TVITEMW tv{};
                    tv.mask = TVIF_PARAM;
                    tv.hItem = item;
                    if (TreeView_GetItem(tree, &tv) && tv.lParam) {
                        ::CoTaskMemFree(reinterpret_cast<void*>(tv.lParam));
                        tv.lParam = 0;
                        TreeView_SetItem(tree, &tv);
                    }
                }
            }
        };
        Walk::Free(hwnd_, TreeView_GetRoot(hwnd_));
        ::DestroyWindow(hwnd_);
    }
}

void ShellFolderTree::Create(const ShellFolderTreeArgs& a) {
    hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                              WS_CHILD | WS_TABSTOP | (a.visible ? WS_VISIBLE : 0) |
                                  TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS,
                              a.left, a.top, a.width, a.height, a.parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(a.id)),
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) {
        throw Error(L"Cannot create the folder tree");
    }
    if (a.font) {
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(a.font), FALSE);
    }
    TreeView_SetIndent(hwnd_, a.indent);
    if (a.textColor != CLR_DEFAULT) {
        TreeView_SetTextColor(hwnd_, a.textColor);
    }
    // The system's image list is shared and must not be destroyed by the tree.
    SHFILEINFOW info{};
    const auto images = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (images) {
        TreeView_SetImageList(hwnd_, images, TVSIL_NORMAL);
    }
    PIDLIST_ABSOLUTE computer = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer))) {
        root_ = AddItem(TVI_ROOT, computer, true);
        Expand(root_);
    }
}

bool ShellFolderTree::Visible() const {
    return (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void ShellFolderTree::SetVisible(bool visible) {
    ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

HTREEITEM ShellFolderTree::AddItem(HTREEITEM parent, PIDLIST_ABSOLUTE pidl, bool hasChildren) {
    const std::wstring name = NameOf(pidl);
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    ins.item.pszText = const_cast<wchar_t*>(name.c_str());
    ins.item.lParam = reinterpret_cast<LPARAM>(pidl);
    ins.item.iImage = IconOf(pidl, 0);
    ins.item.iSelectedImage = IconOf(pidl, SHGFI_OPENICON);
    ins.item.cChildren = hasChildren ? 1 : 0;
    HTREEITEM item = TreeView_InsertItem(hwnd_, &ins);
    if (!item) {
        ::CoTaskMemFree(pidl);
    }
    return item;
}

PIDLIST_ABSOLUTE ShellFolderTree::PidlOf(HTREEITEM item) const {
    if (!item) {
        return nullptr;
    }
    TVITEMW tv{};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    return TreeView_GetItem(hwnd_, &tv) ? reinterpret_cast<PIDLIST_ABSOLUTE>(tv.lParam) : nullptr;
}

void ShellFolderTree::FillChildren(HTREEITEM item) {
    if (TreeView_GetChild(hwnd_, item)) {
        return;
    }
    PIDLIST_ABSOLUTE pidl = PidlOf(item);
    ComRef<IShellFolder> desktop;
    ComRef<IShellFolder> folder;
    ComRef<IEnumIDList> list;
    bool any = false;
    if (pidl && SUCCEEDED(::SHGetDesktopFolder(desktop.Put())) &&
        SUCCEEDED(desktop->BindToObject(pidl, nullptr, __uuidof(IShellFolder),
                                        reinterpret_cast<void**>(folder.Put()))) &&
        folder->EnumObjects(hwnd_, SHCONTF_FOLDERS, list.Put()) == S_OK && list) {
        PITEMID_CHILD child = nullptr;
        while (list->Next(1, &child, nullptr) == S_OK) {
            SFGAOF attrs = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
            PCUITEMID_CHILD one = child;
            folder->GetAttributesOf(1, &one, &attrs);
            if (attrs & SFGAO_FOLDER) {
                PIDLIST_ABSOLUTE full = ::ILCombine(pidl, child);
                if (full && AddItem(item, full, (attrs & SFGAO_HASSUBFOLDER) != 0)) {
                    any = true;
                }
            }
            ::CoTaskMemFree(child);
        }
    }
    if (!any) {
        // Nothing below: drop the expand button.
        TVITEMW tv{};
        tv.mask = TVIF_CHILDREN;
        tv.hItem = item;
        tv.cChildren = 0;
        TreeView_SetItem(hwnd_, &tv);
    }
}

void ShellFolderTree::Expand(HTREEITEM item) {
    FillChildren(item);
    TreeView_Expand(hwnd_, item, TVE_EXPAND);
}

bool ShellFolderTree::HandleNotify(NMHDR* hdr, LRESULT& result) {
    if (!hdr || hdr->hwndFrom != hwnd_) {
        return false;
    }
    switch (hdr->code) {
    case TVN_ITEMEXPANDINGW: {
        auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
        if (nm->action & TVE_EXPAND) {
            FillChildren(nm->itemNew.hItem);
        }
        result = FALSE;
        return true;
    }
    case TVN_DELETEITEMW: {
        auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
        ::CoTaskMemFree(reinterpret_cast<void*>(nm->itemOld.lParam));
        result = 0;
        return true;
    }
    case NM_RCLICK: {
        // A right click selects the item under the mouse.
        TVHITTESTINFO hit{};
        ::GetCursorPos(&hit.pt);
        ::ScreenToClient(hwnd_, &hit.pt);
        if (HTREEITEM item = TreeView_HitTest(hwnd_, &hit)) {
            TreeView_SelectItem(hwnd_, item);
        }
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

std::wstring ShellFolderTree::PathOf(HTREEITEM item) const {
    PIDLIST_ABSOLUTE pidl = PidlOf(item);
    wchar_t path[MAX_PATH] = {};
    if (!pidl || !::SHGetPathFromIDListW(pidl, path)) {
        return {};
    }
    return path;
}

std::wstring ShellFolderTree::SelectedPath() const {
    return PathOf(TreeView_GetSelection(hwnd_));
}

std::wstring ShellFolderTree::TextOf(HTREEITEM item) const {
    wchar_t buf[MAX_PATH] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buf;
    tv.cchTextMax = MAX_PATH;
    return TreeView_GetItem(hwnd_, &tv) ? std::wstring(buf) : std::wstring();
}

} // namespace fw::win
