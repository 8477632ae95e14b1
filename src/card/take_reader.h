// Reading a take file block by block: the one way the export, the stems,
// the envelope and the audition open, measure and read takes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "common/result.h"

namespace trx5 {

class TakeReader {
  public:
    // Opens a take file (a regular file only: a FIFO or device is refused
    // without blocking), reads its header and counts its whole blocks.
    // Fails with "The file could not be opened.", the reason and the path.
    static Result<TakeReader> Open(const std::string& path);

    const std::string& path() const { return path_; }
    // Whole blocks after the header when the file was opened.
    std::uint64_t blocks() const { return blocks_; }
    // Whether the whole header was there and carries the take signature.
    bool HasTakeHeader() const { return signed_; }
    // Whether `path` names this file, under this name or another.
    bool IsSameFile(const std::string& path) const;

    // Reads the next `count` blocks into `blocks` (count * 512 bytes). What
    // the file does not hold reads as zeros: the rest of a last block that
    // is only partly there, and every block after the file's end (a take
    // that has ended, or one that shrank while being read). Returns the
    // blocks that hold any of the file's bytes; fails with the system's
    // reason when reading fails.
    Result<std::size_t> Read(std::uint8_t* blocks, std::size_t count);

  private:
    TakeReader() = default;

    FilePtr file_;
    std::string path_;
    std::uint64_t blocks_ = 0;
    bool signed_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace trx5
