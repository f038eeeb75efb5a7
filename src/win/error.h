#pragma once
// Exception types of the program. Texts are UTF-16; what() gives UTF-8.

#include <cstddef>
#include <stdexcept>
#include <string>

namespace fw::win {

class Error : public std::runtime_error {
public:
    explicit Error(std::wstring text);
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};

// An OLE system error: a COM call failed with an HRESULT (a class that is not
// registered, a property the control does not have).
class OleSysError : public Error {
public:
    OleSysError(std::wstring text, long hr) : Error(std::move(text)), hr_(hr) {}
    long Code() const { return hr_; }

private:
    long hr_;
};

// Raised when a registry value cannot be written.
class RegistryError : public Error {
public:
    using Error::Error;
};

// Raised by file operations that fail in a way the caller must report.
class FileError : public Error {
public:
    using Error::Error;
};

// How much of a name (a registry value's, a file's) an error text quotes: the movie chooses
// them, up to thousands of characters, and the box must stay readable. Any path of MAX_PATH
// characters is quoted whole.
inline constexpr std::size_t kQuotedNameChars = 300;

// The text of any exception as the error box shows it.
std::wstring ErrorText(const std::exception& e);

} // namespace fw::win
