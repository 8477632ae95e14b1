#include "card/take_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "card/take_file.h"
#include "common/messages.h"

namespace trx5 {

namespace {

Status CannotRead(const std::string& path, std::string reason) {
    return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, std::move(reason)).WithPath(path);
}

}  // namespace

Result<TakeReader> TakeReader::Open(const std::string& path) {
    TakeReader take;
    take.path_ = path;
    std::string reason;
    take.file_ = OpenRegularFile(path, &reason);
    if (!take.file_) return CannotRead(path, reason);
    struct stat st {};
    if (fstat(fileno(take.file_.get()), &st) != 0) return CannotRead(path, ErrnoText(errno));
    take.blocks_ = TakeBlockCount(static_cast<std::uint64_t>(st.st_size));
    take.device_ = st.st_dev;
    take.inode_ = st.st_ino;
    // Reading the header leaves the file at the first block.
    TakeHeader header{};
    errno = 0;
    const std::size_t read = std::fread(header.data(), 1, header.size(), take.file_.get());
    if (std::ferror(take.file_.get()) != 0) {
        return CannotRead(path, ErrnoText(errno != 0 ? errno : EIO));
    }
    take.signed_ = read == header.size() && HasTakeSignature(header.data());
    return take;
}

bool TakeReader::IsSameFile(const std::string& path) const {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

Result<std::size_t> TakeReader::Read(std::uint8_t* blocks, std::size_t count) {
    errno = 0;
    const std::size_t bytes = std::fread(blocks, 1, count * kTakeBlockSize, file_.get());
    if (std::ferror(file_.get()) != 0) {
        return CannotRead(path_, ErrnoText(errno != 0 ? errno : EIO));
    }
    std::fill(blocks + bytes, blocks + count * kTakeBlockSize, std::uint8_t(0));
    return (bytes + kTakeBlockSize - 1) / kTakeBlockSize;
}

}  // namespace trx5
