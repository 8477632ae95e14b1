#include "common/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

namespace trx5 {

namespace {

constexpr int kTempNameAttempts = 100;
constexpr std::size_t kRandomChars = 6;
// What a temporary name adds to the stem: the prefix, "-" and the suffix.
constexpr std::size_t kTempNameExtra = sizeof kTempPrefix - 1 + 1 + kRandomChars;

std::string RandomSuffix() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937_64 rng{std::random_device{}() ^ (std::uint64_t(getpid()) << 32)};
    std::string suffix(kRandomChars, 'x');
    for (char& c : suffix) c = kChars[rng() % (sizeof kChars - 1)];
    return suffix;
}

// Opens without blocking; the caller tests what it got.
int OpenNoBlock(const std::string& path, int flags) {
    int fd;
    do {
        fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

std::string ErrnoText(int error) { return std::strerror(error); }

FilePtr OpenRegularFile(const std::string& path, std::string* reason, FinalLink link) {
    auto fail = [reason](std::string why) {
        if (reason != nullptr) *reason = std::move(why);
        return FilePtr();
    };
    const int fd = OpenNoBlock(path, O_RDONLY | (link == FinalLink::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0) return fail(ErrnoText(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        close(fd);
        if (S_ISDIR(st.st_mode)) return fail(ErrnoText(EISDIR));
        return fail(st.st_mode != 0 ? kReasonNotRegular : ErrnoText(error));
    }
    // Reads of a regular file do not block; the flag only mattered for open.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        close(fd);
        return fail(ErrnoText(error));
    }
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        const int error = errno;
        close(fd);
        return fail(ErrnoText(error));
    }
    return FilePtr(f);
}

Result<FreeSpaceInfo> FreeSpace(const std::string& folder) {
    struct statvfs fs {};
    if (statvfs(folder.c_str(), &fs) != 0) {
        return Status::Fail(ErrorCode::Failed, {}, ErrnoText(errno));
    }
    FreeSpaceInfo space;
    space.known = fs.f_blocks != 0;
    if (fs.f_frsize != 0) space.blockSize = fs.f_frsize;
    const unsigned __int128 bytes = (unsigned __int128)fs.f_bavail * space.blockSize;
    space.bytes = bytes > UINT64_MAX ? UINT64_MAX : std::uint64_t(bytes);
    return space;
}

std::string TempNameStem(const std::string& folder, const std::string& baseName) {
    const long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const std::size_t maxName = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
    if (baseName.size() + kTempNameExtra <= maxName) return baseName;
    std::size_t length = maxName > kTempNameExtra ? maxName - kTempNameExtra : 0;
    // Never end inside a UTF-8 sequence: back up over continuation bytes.
    while (length > 0 && (static_cast<unsigned char>(baseName[length]) & 0xC0) == 0x80) --length;
    return baseName.substr(0, length);
}

TempFile::~TempFile() { Discard(); }

Status TempFile::Create(const std::string& folder, const std::string& baseName, unsigned mode) {
    Discard();
    int error = EEXIST;
    for (int attempt = 0; attempt < kTempNameAttempts && error == EEXIST; ++attempt) {
        const std::string path =
            folder + kTempPrefix + TempNameStem(folder, baseName) + "-" + RandomSuffix();
        // O_EXCL refuses any existing entry, links included.
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            static_cast<mode_t>(mode));
        if (fd < 0) {
            error = errno;
            continue;
        }
        flock(fd, LOCK_EX | LOCK_NB);
        std::FILE* f = fdopen(fd, "w+b");
        if (f == nullptr) {
            error = errno;
            close(fd);
            unlink(path.c_str());
            break;
        }
        file_ = f;
        path_ = path;
        return Status::Ok();
    }
    return Status::Fail(ErrorCode::CannotCreate, {}, ErrnoText(error));
}

Status TempFile::Write(const void* bytes, std::size_t count) {
    if (count == 0) return Status::Ok();
    errno = 0;
    if (std::fwrite(bytes, 1, count, file_) != count) {
        return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(errno != 0 ? errno : EIO));
    }
    return Status::Ok();
}

Status TempFile::CopyFrom(int fd) {
    auto fail = [](ErrorCode code, int error) {
        return Status::Fail(code, {}, ErrnoText(error != 0 ? error : EIO));
    };
    errno = 0;
    if (file_ == nullptr || std::fflush(file_) != 0) return fail(ErrorCode::CannotWrite, errno);
    const int out = fileno(file_);
    // The copy goes in pieces, each sent to the device while the next is
    // copied, so that the final flush has little left to wait for.
    auto startWriteback = [out] {
#if defined(__linux__)
        sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    };
    std::vector<char> buffer;
    for ([[maybe_unused]] bool inKernel = true;;) {
#if defined(__linux__)
        if (inKernel) {
            const ssize_t n = copy_file_range(fd, nullptr, out, nullptr, std::size_t{4} << 20, 0);
            if (n > 0) {
                startWriteback();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // Reads and writes take over where the kernel cannot copy between
            // these files (EXDEV, ENOSYS, EOPNOTSUPP, EINVAL: another file
            // system, a pipe), after any other failure, which they then tell
            // as a read's or a write's, and at the end, which some file
            // systems report early.
            inKernel = false;
            continue;
        }
#endif
        if (buffer.empty()) buffer.resize(std::size_t{1} << 20);
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return fail(ErrorCode::CannotOpen, errno);
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return fail(ErrorCode::CannotWrite, put < 0 ? errno : ENOSPC);
            done += put;
        }
        startWriteback();
    }
    // The stream writes on after what was copied.
    if (std::fseek(file_, 0, SEEK_END) != 0) return fail(ErrorCode::CannotWrite, errno);
    return Status::Ok();
}

void TempFile::StartWriteback() {
    if (file_ == nullptr || std::fflush(file_) != 0) return;
#if defined(__linux__)
    sync_file_range(fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

Status TempFile::Flush() {
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
        return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(errno != 0 ? errno : EIO));
    }
    if (fsync(fileno(file_)) != 0 && errno != EINVAL) {
        return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(errno));
    }
    return Status::Ok();
}

Status TempFile::FlushToSystem() {
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
        return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(errno != 0 ? errno : EIO));
    }
    return Status::Ok();
}

Status SyncFileSystem(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(errno)).WithPath(folder);
    const int result = ::syncfs(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0)
        return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(error)).WithPath(folder);
    return Status::Ok();
}

Status TempFile::CommitTo(const std::string& target) {
    if (std::rename(path_.c_str(), target.c_str()) != 0) {
        const int error = errno;
        Discard();
        return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(error));
    }
    // The data is on the device already; only the lock goes with the close.
    std::fclose(file_);
    file_ = nullptr;
    path_.clear();
    return Status::Ok();
}

void TempFile::Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
}

void RemoveStaleTempFiles(const std::string& folder, const std::string& namePrefix) {
    const std::string prefix = kTempPrefix + namePrefix;
    DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* d = readdir(dir)) {
        const std::string_view name(d->d_name);
        if (name.substr(0, prefix.size()) != prefix) continue;
        const std::string path = folder + std::string(name);
        const int fd = OpenNoBlock(path, O_RDONLY | O_NOFOLLOW);
        if (fd < 0) continue;
        struct stat st {};
        // A file some run still writes is locked by it.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            unlink(path.c_str());
        }
        close(fd);
    }
    closedir(dir);
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace trx5
