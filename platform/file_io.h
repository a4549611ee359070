// File services of the engine: read a whole file, replace a file safely, ask for sizes and attributes.
// One header, two implementations chosen at build time (file_io_win32.cpp, file_io_posix.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scourvane::platform
{

// What failed, for messages. `systemError` is errno or GetLastError().
enum class IoStep : uint8_t
{
    none,
    open,
    size,
    read,
    tooLarge,
    create,
    write,
    flush,
    rename,
    close,
    linked,     // the target has more than one hard link: replacing it would split it from its other names
    changed,    // the target is no longer the file that was read: another program changed it meanwhile
    exists,     // a file already has the name a new file was to take
    strayBytes, // the new file holds other bytes than were written to it (more, or other ones)
    notRegular, // the name is taken by something other than a regular file (a folder, a link, a FIFO)
    owner,      // the new file cannot be given the old one's owner and group
    attributes, // the new file cannot be given the old one's extended attributes or access control list
    refused,    // the file's first bytes were refused before the rest was read
    notFolder,  // a part of the way to a new file is a link or not a folder
    times,      // the new file cannot be given the old one's modification and access times
    readOnly,   // the target is marked read-only (no write permission bit, or the read-only attribute)
};

struct IoError
{
    IoStep step = IoStep::none;
    uint32_t systemError = 0;
};

// Short lowercase description of the step that failed, such as "cannot open the file".
const char* ioStepText(IoStep step);

// The system's own message for an error number (errno, or GetLastError() on Windows), without a
// trailing period or line end, such as "No such file or directory".
std::string systemMessage(uint32_t code);

// The step and the system's words with the number: "cannot open the file: No such file or directory
// (error 2)"; only the step when there is no number.
std::string describeIoError(const IoError& error);
// Which file a name led to when it was read, and as what: enough to tell whether another program
// replaced or rewrote it since. `device` and `index` are the device and inode (on Windows the
// volume serial number and file index); `modified` is in the system's own units.
struct FileIdentity
{
    uint64_t device = 0;
    uint64_t index = 0;
    uint64_t size = 0;
    int64_t modified = 0;
    // POSIX: when the file's contents or status last changed (ctime), which no program can set
    // back, so a change whose modification time was restored is still seen; 0 on Windows.
    int64_t statusChanged = 0;
    uint32_t links = 0;
    bool known = false; // false: nothing was read, compare nothing

    // The same file, whatever names led to each: the same device (volume) and index.
    bool sameFileAs(const FileIdentity& other) const
    {
        return known && other.known && device == other.device && index == other.index;
    }

    bool sameFileAndContent(const FileIdentity& other) const
    {
        return known && other.known && device == other.device && index == other.index && size == other.size &&
               modified == other.modified && statusChanged == other.statusChanged && links == other.links;
    }
};

// Reads the whole file at `path` into `out` with one read. Files larger than `maxSize` fail with
// IoStep::tooLarge before anything is allocated. The file is opened for reading with read sharing only.
// `identity`, when given, receives what the file was as it was read (known only on success).
bool readWholeFile(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, IoError* error = nullptr,
                   FileIdentity* identity = nullptr);

// Reads at most `count` bytes from the start of the regular file at `path` into `out` (fewer when
// the file is shorter). False when it cannot be opened or read, or is not a regular file.
bool readFileStart(const char* path, size_t count, std::vector<uint8_t>& out);

// Looks at the first bytes of a file before the rest is read: `head` holds min(headSize asked, file
// size) bytes and `fileSize` is the whole file's size. False refuses the file.
using StartCheck = bool (*)(const uint8_t* head, size_t headSize, uint64_t fileSize, void* context);

// As readWholeFile, but the first `headSize` bytes are read and handed to `check` first; when it
// refuses, nothing more is read or allocated and the call fails with IoStep::refused (the check says
// why through its context). A file larger than `maxSize` fails with IoStep::tooLarge before the check.
bool readWholeFileChecked(const char* path, std::vector<uint8_t>& out, uint64_t maxSize, size_t headSize,
                          StartCheck check, void* context, IoError* error = nullptr,
                          FileIdentity* identity = nullptr);

// The identity of the file or folder `path` leads to now (following symbolic links); `known` false
// when there is none. Two names lead to one file or folder exactly when their identities are
// sameFileAs each other (links, bind mounts, "..", and on Windows short names and case included).
FileIdentity identifyFile(const char* path);

enum class NameKind : uint8_t
{
    missing, // nothing has the name
    regular, // a regular file
    link,    // a symbolic link (or, on Windows, another reparse point)
    other,   // a folder, a device, a FIFO or a socket
};

// What the name `path` itself is, not following a final symbolic link; `identity`, when given,
// receives its identity.
NameKind identifyName(const char* path, FileIdentity* identity = nullptr);

struct FileTimes; // platform/file_times.h

// Writes a new file image for a path in pieces and puts it in place in one step, so that the name
// leads to either the old file or the whole new one, never to a part of it.
//
// The new bytes go to a temporary file in the target's folder: on Linux an unnamed one (O_TMPFILE),
// named only just before the rename, so that a process killed outright leaves nothing behind; on
// Windows one marked to be deleted when its handle closes, the mark cleared just before the replace.
// Where the system refuses either, a named temporary ".scourvane-XXXXXXXX.tmp" (8 hex digits) is
// used; that is the only name an abrupt death can leave, and it never depends on the target's name.
//
// A symbolic link at the path is followed (the file it leads to is replaced, the link stays) unless
// `replaceLink` is set or an `accessSource` is given, when the link itself is replaced and nothing is
// written through it.
//
// Replacing a file keeps who may use it: the new file gets the old one's owner and group, its
// extended attributes (on Linux; access control lists are among them) or its access control list (on
// Windows), and its mode. Where any of that cannot be kept, begin fails (IoStep::owner,
// IoStep::attributes) and nothing is replaced, so that nobody gains or loses access through a clean.
class FileReplacement
{
  public:
    FileReplacement() = default;
    ~FileReplacement(); // abandons unless committed
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Starts the new image of `path`; `expectedSize` is a hint (0 when unknown) that lets a full disk
    // fail here. An existing target must be a regular file that may be written (not held against
    // writing) with a single link (several are allowed with `replaceLink`, which may split a name off);
    // otherwise nothing is created. A target marked read-only fails with IoStep::readOnly, even where
    // this process could write it. The temporary gets the target's access (see above), set-user-id and
    // set-group-id bits included, and on Windows its attributes at commit.
    //
    // A copy of another file (a backup, an output elsewhere) names that file as `accessSource`: the
    // new file then takes that file's access rather than the target's and is never more open than it:
    // its permission bits (without set-user-id, set-group-id and sticky bits), its owner and group
    // where this process may give them (where the group cannot be kept, the group's bits are cleared),
    // its extended attributes or access control list (a failure to copy them fails begin).
    bool begin(const char* path, uint64_t expectedSize, IoError* error = nullptr, bool replaceLink = false,
               const char* accessSource = nullptr);

    // Appends bytes to the new image.
    bool write(const uint8_t* data, size_t size, IoError* error = nullptr);

    // The bytes written so far, read back from the temporary file (to verify before committing).
    // Fails with IoStep::strayBytes when the file is larger than what was written to it.
    bool readBack(std::vector<uint8_t>& out, IoError* error = nullptr);

    // Gives the new file `times` (those of the file it replaces or copies; see file_times.h). Called
    // after the last write and read back, just before commit, as either would move them again.
    // Fails with IoStep::times, abandoning the new file, when they cannot be set.
    bool keepTimes(const FileTimes& times, IoError* error = nullptr);

    // Flushes the new image to disk and renames it over the target. With `expected`, first checks that
    // the target is still that file, unchanged (identity, size, modification time, links); if not,
    // fails with IoStep::changed and the target is left alone. On any failure the temporary is removed.
    bool commit(const FileIdentity* expected, IoError* error = nullptr);

    // As commit, but only when nothing has the target's name yet (IoStep::exists otherwise): the
    // existing file is never replaced, even when one appears meanwhile.
    bool commitNew(IoError* error = nullptr);

    // Drops the new image and removes the temporary file; the target is untouched. Safe to repeat.
    void abandon();

    bool isOpen() const { return handle_ != invalidHandle; }

  private:
    bool finish(const FileIdentity* expected, bool replace, IoError* error);

    static constexpr intptr_t invalidHandle = -1;
    intptr_t handle_ = invalidHandle; // file descriptor or HANDLE
    std::string target_;              // the name that is replaced
    std::string temporary_;           // the temporary's name; empty while it has none
    uint64_t written_ = 0;
    uint32_t attributes_ = 0; // Windows: the target's attributes, set on the new file at commit
    bool unnamed_ = false;    // no name yet (O_TMPFILE) or delete-on-close is set (Windows)
};

// Replaces the contents of `path` with `size` bytes through a FileReplacement (see there): the old
// contents are never lost, and on every failure the original is left byte for byte as it was and no
// temporary file remains.
bool replaceFileContents(const char* path, const uint8_t* data, size_t size, IoError* error = nullptr);

// Size of the file at `path` in bytes, or -1 when it cannot be had (missing, no access, a folder).
int64_t fileSize(const char* path);

// True when `path` names an existing directory.
bool isDirectory(const char* path);

// Fault injection for tests: makes the nth (1-based) call of one kind of file operation fail, counted
// from the call that sets it. Kinds: IoStep::open, read, create, write, flush, rename, close.
// `nth` 0 disables injection. Costs one comparison per operation when off.
void injectFault(IoStep step, uint32_t nth);
void clearFaults();

// Fault injection for tests: the nth (1-based) FileReplacement::write from now stores its first
// byte inverted, as a disk that keeps other bytes than it was given would. 0 disables; clearFaults
// disables it too.
void injectCorruption(uint32_t nth);

namespace detail
{
// True when the fault plan says this operation must fail; counts the operation.
bool faultNow(IoStep step);

// The bytes a write stores: `data` itself, or a corrupted copy of it in `copy` when the corruption
// plan says so (counts the write).
const uint8_t* bytesToStore(const uint8_t* data, size_t size, std::vector<uint8_t>& copy);
} // namespace detail

} // namespace scourvane::platform
