// Opening files safely: reading only regular files without ever blocking on
// a FIFO or device, and writing through exclusive temporary files that are
// renamed over their targets only when complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/messages.h"
#include "common/result.h"

namespace trx5 {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The text of an errno value ("No space left on device").
std::string ErrnoText(int error);

// Whether opening a path may go through a link in its last part.
enum class FinalLink { Follow, Refuse };

// Opens an existing regular file for binary reading. A FIFO, socket or
// device is refused without blocking, and with FinalLink::Refuse a link
// too (ELOOP); on failure the result is null and `reason` (when given) says
// why.
FilePtr OpenRegularFile(const std::string& path, std::string* reason = nullptr,
                        FinalLink link = FinalLink::Follow);

// The room left in a folder's file system.
struct FreeSpaceInfo {
    std::uint64_t bytes = 0;        // that can still be written (as an unprivileged user may)
    std::uint64_t blockSize = 512;  // files take whole blocks of this size
    // Some file systems (pseudo or remote ones) tell no sizes at all; then
    // nothing is known of the room.
    bool known = true;
};

// The room in `folder`'s file system; fails with the system's reason.
Result<FreeSpaceInfo> FreeSpace(const std::string& folder);

// Temporary files of this program start with this prefix, so that files a
// killed run left behind can be recognised.
inline constexpr char kTempPrefix[] = ".trx5tmp-";

// A file written under a temporary name beside its target and renamed over
// it when complete. The name is new and created exclusively, never through
// an existing file or link; while open the file is locked, so that another
// run's clean-up leaves it alone. Unless committed, it is removed when the
// object goes.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates ".trx5tmp-" + TempNameStem(folder, baseName) + "-" + six
    // random characters in `folder` (which ends with "/"). `mode` is the
    // permission the file gets (the umask applies).
    Status Create(const std::string& folder, const std::string& baseName, unsigned mode = 0666);

    std::FILE* file() const { return file_; }
    const std::string& path() const { return path_; }

    // Writes all bytes; the reason of a failure is kept.
    Status Write(const void* bytes, std::size_t count);
    // Appends the bytes of the open file `fd` from its offset to its end at
    // the file system's speed: copy_file_range(2), which within one file
    // system copies in the kernel or shares the blocks, else reads and
    // writes of 1 MiB. A failure to read has ErrorCode::CannotOpen, any
    // other ErrorCode::CannotWrite.
    Status CopyFrom(int fd);
    // Has the device start writing what was written so far, without waiting
    // for it, so that the final Flush has little left to wait for.
    void StartWriteback();
    // Flushes the data to the device; the file stays open and locked.
    Status Flush();
    // Hands the data to the system without waiting for the device, for a
    // writer of many new files that syncs their file system once at the end
    // (SyncFileSystem) before it reports them written.
    Status FlushToSystem();
    // Renames the file over `target` and closes it. The data must have been
    // flushed first.
    Status CommitTo(const std::string& target);
    // Closes and removes the file.
    void Discard();

  private:
    std::FILE* file_ = nullptr;
    std::string path_;
};

// The part of a temporary file's name taken from its target's name: the
// name itself, cut short (at a character boundary) where the whole temporary
// name would exceed the folder's limit on name lengths.
std::string TempNameStem(const std::string& folder, const std::string& baseName);

// Removes, from `folder`, the regular files whose names start with
// ".trx5tmp-" + namePrefix and that no running process holds open (killed
// runs leave them). Links and other entries are left alone.
void RemoveStaleTempFiles(const std::string& folder, const std::string& namePrefix = {});

// Flushes the folder's entries (a rename in it) to the device; best effort.
void SyncFolder(const std::string& folder);

// Writes everything of the file system that holds `folder` to the device and
// reports a failure to write any of it (syncfs(2)).
Status SyncFileSystem(const std::string& folder);

}  // namespace trx5
