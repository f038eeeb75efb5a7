#include "win/rich_edit.h"

#include "base/text.h"
#include "win/error.h"
#include "win/handle.h"
#include "win/strings.h"

#include <richedit.h>

namespace fw::win {

namespace {

DWORD CALLBACK ReadFileChunk(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
    DWORD got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &got,
                    nullptr)) {
        *read = 0;
        return 1;
    }
    *read = static_cast<LONG>(got);
    return 0;
}

} // namespace

void RichEdit::Create(const RichEditArgs& args) {
    static HMODULE lib = ::LoadLibraryW(L"riched20.dll");
    (void)lib;
    DWORD style = WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL;
    if (args.readOnly) {
        style |= ES_READONLY;
    }
    CreateWindowOf(RICHEDIT_CLASSW, style, 0, {args.parent, args.id, 0, 0, 10, 10});
    ::SendMessageW(Handle(), EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(args.background));
    FillParent();
}

void RichEdit::FillParent() {
    RECT r{};
    ::GetClientRect(::GetParent(Handle()), &r);
    ::MoveWindow(Handle(), 0, 0, r.right, r.bottom, TRUE);
}

void RichEdit::LoadRtfFile(const std::wstring& path) {
    const std::wstring quoted = L"\"" + CutText(path, kQuotedNameChars) + L"\"";
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throw FileError(L"Cannot open file " + quoted + L". " + SystemErrorText(::GetLastError()));
    }
    // Only a file on a disk is a document: a device name such as AUX or COM1
    // would make the read below wait for input that never comes.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        throw FileError(L"Cannot open file " + quoted + L". " + SystemErrorText(ERROR_BAD_DEVICE));
    }
    // The control would hold the whole document in memory, and the program wait while it
    // reads: a document for the parents is never this large.
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        throw FileError(L"Cannot read file " + quoted + L". " + SystemErrorText(::GetLastError()));
    }
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxDocumentBytes) {
        throw FileError(L"Cannot read file " + quoted + L": the document is larger than " +
                        DecimalText(kMaxDocumentBytes >> 20) + L" MB");
    }
    EDITSTREAM es{};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(file.get());
    es.pfnCallback = ReadFileChunk;
    ::SendMessageW(Handle(), EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
    if (es.dwError != 0) {
        throw FileError(L"Cannot read file " + quoted);
    }
}

} // namespace fw::win
