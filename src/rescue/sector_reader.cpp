#include "rescue/sector_reader.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rescue/rescue_messages.h"

namespace trx5 {

namespace {

class FileSource final : public ByteSource {
  public:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t size() const override { return size_; }

    Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* out,
                               std::size_t length) override {
        std::size_t done = 0;
        while (done < length && offset + done < size_) {
            const ssize_t n =
                ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return Status::Fail(ErrorCode::CannotOpen, kMsgCannotReadSource,
                                    std::strerror(errno));
            }
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

  private:
    int fd_;
    std::uint64_t size_;
};

}  // namespace

Result<std::unique_ptr<ByteSource>> OpenByteSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpenSource, std::strerror(errno))
            .WithPath(path);
    }
    return ByteSourceFromFd(fd, path);
}

Result<std::unique_ptr<ByteSource>> ByteSourceFromFd(int fd, const std::string& name) {
    const auto fail = [&](const char* reason) {
        ::close(fd);
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpenSource, reason).WithPath(name);
    };
    struct stat st {};
    std::uint64_t size = 0;
    if (::fstat(fd, &st) != 0) return fail(std::strerror(errno));
    if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISBLK(st.st_mode)) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) return fail(std::strerror(errno));
    } else {
        return fail(kMsgNotImageOrDevice);
    }
    // The whole source is read once from start to end.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<ByteSource>(new FileSource(fd, size));
}

std::size_t RetryingSectorReader::ReadSectors(std::uint64_t first, std::size_t count,
                                              std::uint8_t* out, std::uint8_t* unreadable) {
    std::memset(unreadable, 0, count);
    const std::size_t bytes = count * kSectorSize;
    const std::uint64_t offset = first * kSectorSize;
    if (auto whole = source_.ReadAt(offset, out, bytes)) {
        std::memset(out + *whole, 0, bytes - *whole);
        return 0;
    }
    // Some sector of the chunk failed: each one alone, so that only the
    // sectors that cannot be read are lost.
    std::size_t bad = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* sector = out + i * kSectorSize;
        auto one = source_.ReadAt(offset + i * kSectorSize, sector, kSectorSize);
        if (one) {
            std::memset(sector + *one, 0, kSectorSize - *one);
        } else {
            std::memset(sector, 0, kSectorSize);
            unreadable[i] = 1;
            ++bad;
        }
    }
    unreadable_ += bad;
    return bad;
}

}  // namespace trx5
