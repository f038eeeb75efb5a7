#pragma once
// The start-up decision and the installation's arithmetic, free of the
// platform: which road a start takes, the free-space figure, the texts built
// from paths, the removal batch file.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

enum class StartRoad {
    Removal,  // first argument "-u" in any case
    Install,  // the offer was accepted
    Register, // register where it runs, then the movie
    Normal,   // registered already: the movie at once
};

// Drive types as the platform numbers them.
enum class DriveType : unsigned {
    Unknown = 0,
    NoRoot = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6
};

struct StartFacts {
    std::vector<std::wstring> args; // command-line arguments after the program
    bool programKeyExists = false;
    std::optional<std::wstring> defaultValue; // the program key's default value, when it has one
    DriveType drive = DriveType::Fixed;       // the drive the executable runs from
};

inline const std::wstring kTransferMarker = L"Transfering";
inline constexpr std::int64_t kRequiredMegabytes = 90;

bool IsRemovalSwitch(const std::vector<std::wstring>& args);

// Decides the road; askOffer is called only when the installation is offered
// and returns true for Yes.
StartRoad DecideStart(const StartFacts& facts, const std::function<bool()>& askOffer);

// Whole megabytes available; a failed query (nullopt) counts as -1 byte.
std::int64_t FreeMegabytes(std::optional<std::uint64_t> bytes);

// "C:" of "C:\Games" (a drive letter and a colon), empty when there is none.
std::wstring DrivePart(const std::wstring& path);
// The root folder whose free space is measured for a path text: the drive
// letter upper-cased followed by ":\", the share of a network path
// ("\\server\share\"), or empty for the current drive.
std::wstring FreeSpaceRoot(const std::wstring& pathText);

std::wstring OfferText();
std::wstring ShortageText(std::int64_t freeMegabytes);
std::wstring CannotCreateText(const std::wstring& pathText);
std::wstring RemovalQuestion(const std::wstring& programFolder);

// The folder's executable as registered, always named Fenwobble.exe.
std::wstring RegisteredExePath(const std::wstring& programFolder);

// What the removal's final report adds: the folder whose files stayed (a CD,
// or a folder not the program's own), and the executable that no batch file
// can erase.
std::wstring UntouchedFolderText(const std::wstring& programFolder);
std::wstring ExecutableStaysText(const std::wstring& exePath);

// The removal batch file beside the executable.
std::wstring BatchPath(const std::wstring& exePath);
// Its lines (each to be ended by CR LF) for two paths as cmd.exe is to see
// them: a loop that erases the executable once the program has let go of it,
// giving up after a fixed number of tries, then an erase of the batch file.
std::vector<std::wstring> BatchLines(const std::wstring& exePath, const std::wstring& batchPath);

// The OEM code page cmd.exe reads a batch file in, and the short names that
// stand in for paths it cannot hold.
class OemPort {
public:
    virtual ~OemPort() = default;
    // The text's bytes when every character maps exactly (no best fit, no
    // default character); nullopt otherwise.
    virtual std::optional<std::string> ExactOem(std::wstring_view text) = 0;
    // The short form of a path (of its folder, for a file not yet made);
    // nullopt when there is none.
    virtual std::optional<std::wstring> ShortPath(const std::wstring& path) = 0;
};

// The batch file's bytes, each path written as it is or through its short
// name; nullopt when a path cannot be written exactly either way, as an
// inexact one would erase another file.
std::optional<std::string> BatchFileBytes(const std::wstring& exePath,
                                          const std::wstring& batchPath, OemPort& oem);

} // namespace fw
