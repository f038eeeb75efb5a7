// The installation's copy of a folder tree, timed on its own, beside the two
// layers under it, to tell the shell's cost from the platform's:
//   bench_copy shell SOURCE TARGET      the installation's routine with its check
//   bench_copy shfileop SOURCE TARGET   the system's folder copy alone, same flags
//   bench_copy copyfile SOURCE TARGET   one CopyFileW per file, folders made first
// Prints "ms=N ok=0|1".

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "setup/file_tree_win.h"

namespace {

bool CopyEach(const std::wstring& from, const std::wstring& to) {
    ::CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW((from + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = CopyEach(from + L"\\" + name, to + L"\\" + name) && ok;
        } else {
            ok = ::CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE) &&
                 ok;
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return ok;
}

bool ShFileOp(const std::wstring& source, const std::wstring& target) {
    std::wstring from = source + L"*.*";
    from.append(2, L'\0');
    std::wstring to = target;
    to.append(2, L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_COPY;
    op.pFrom = from.c_str();
    op.pTo = to.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
    return ::SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_copy shell|shfileop|copyfile SOURCE TARGET\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    std::wstring source = argv[2];
    if (source.empty() || source.back() != L'\\') {
        source += L'\\';
    }
    const std::wstring target = argv[3];
    LARGE_INTEGER f, a, b;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&a);
    bool ok = false;
    if (mode == L"shell") {
        ok = fw::CopyFolderContents(source, target, nullptr).Succeeded();
    } else if (mode == L"shfileop") {
        ok = ShFileOp(source, target);
    } else {
        ok = CopyEach(source.substr(0, source.size() - 1), target);
    }
    ::QueryPerformanceCounter(&b);
    std::printf("ms=%.1f ok=%d\n",
                static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart, ok ? 1 : 0);
    return ok ? 0 : 1;
}
