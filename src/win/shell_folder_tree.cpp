#include "win/shell_folder_tree.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "win/com.h"

namespace fw::win {
namespace {

// The tree reports a click before it selects the clicked item; onSelect runs
// once the selection has followed.
constexpr UINT kClicked = WM_APP + 1;

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
    if (Handle()) {
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
        Walk::Free(Handle(), TreeView_GetRoot(Handle()));
    }
}

void ShellFolderTree::Create(const ShellFolderTreeArgs& a) {
    CreateWindowOf(WC_TREEVIEWW, WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS,
                   WS_EX_CLIENTEDGE, a.place);
    const HWND tree = Handle();
    TreeView_SetIndent(tree, a.indent);
    if (a.textColor != CLR_DEFAULT) {
        TreeView_SetTextColor(tree, a.textColor);
    }
    // The system's image list is shared and must not be destroyed by the tree.
    SHFILEINFOW info{};
    const auto images = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (images) {
        TreeView_SetImageList(tree, images, TVSIL_NORMAL);
    }
    PIDLIST_ABSOLUTE computer = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer))) {
        root_ = AddItem(TVI_ROOT, computer, true);
        Expand(root_);
    }
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
    HTREEITEM item = TreeView_InsertItem(Handle(), &ins);
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
    return TreeView_GetItem(Handle(), &tv) ? reinterpret_cast<PIDLIST_ABSOLUTE>(tv.lParam)
                                           : nullptr;
}

void ShellFolderTree::FillChildren(HTREEITEM item) {
    const HWND tree = Handle();
    if (TreeView_GetChild(tree, item)) {
        return;
    }
    PIDLIST_ABSOLUTE pidl = PidlOf(item);
    ComPtr<IShellFolder> desktop;
    ComPtr<IShellFolder> folder;
    ComPtr<IEnumIDList> list;
    bool any = false;
    if (pidl && SUCCEEDED(::SHGetDesktopFolder(desktop.put())) &&
        SUCCEEDED(desktop->BindToObject(pidl, nullptr, IID_IShellFolder, folder.put_void())) &&
        folder->EnumObjects(tree, SHCONTF_FOLDERS, list.put()) == S_OK && list) {
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
        TreeView_SetItem(tree, &tv);
    }
}

void ShellFolderTree::Expand(HTREEITEM item) {
    FillChildren(item);
    TreeView_Expand(Handle(), item, TVE_EXPAND);
}

bool ShellFolderTree::OnNotify(NMHDR& hdr, LRESULT& result) {
    result = 0;
    switch (hdr.code) {
    case TVN_ITEMEXPANDINGW: {
        auto& nm = reinterpret_cast<NMTREEVIEWW&>(hdr);
        if (nm.action & TVE_EXPAND) {
            FillChildren(nm.itemNew.hItem);
        }
        result = FALSE;
        return true;
    }
    case TVN_DELETEITEMW:
        ::CoTaskMemFree(
            reinterpret_cast<void*>(reinterpret_cast<NMTREEVIEWW&>(hdr).itemOld.lParam));
        return true;
    case NM_RCLICK: {
        // A right click selects the item under the mouse.
        TVHITTESTINFO hit{};
        ::GetCursorPos(&hit.pt);
        ::ScreenToClient(Handle(), &hit.pt);
        if (HTREEITEM item = TreeView_HitTest(Handle(), &hit)) {
            TreeView_SelectItem(Handle(), item);
        }
        return true;
    }
    case NM_CLICK:
        ::PostMessageW(Handle(), kClicked, 0, 0);
        return true;
    default:
        return false;
    }
}

bool ShellFolderTree::OnOwnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
    if (msg != kClicked) {
        return false;
    }
    result = 0;
    if (onSelect) {
        onSelect(SelectedPath());
    }
    return true;
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
    return PathOf(TreeView_GetSelection(Handle()));
}

std::wstring ShellFolderTree::TextOf(HTREEITEM item) const {
    wchar_t buf[MAX_PATH] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buf;
    tv.cchTextMax = MAX_PATH;
    return TreeView_GetItem(Handle(), &tv) ? std::wstring(buf) : std::wstring();
}

} // namespace fw::win
