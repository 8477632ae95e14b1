// Reading a damaged card's image or device in 512-byte sectors. Reads go in
// large chunks; a chunk that fails is read again sector by sector, and the
// sectors that still fail are zero-filled and counted, so a scan goes on
// past bad places of the medium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/result.h"

namespace trx5 {

inline constexpr std::size_t kSectorSize = 512;

// Bytes read at offsets: a file, a block device, or a test's memory with
// injected faults. The seam below SectorReader.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Bytes of the source.
    virtual std::uint64_t size() const = 0;
    // Reads `length` bytes at `offset` into `out`: the bytes read (fewer
    // only at the end of the source), or a failure when the medium cannot
    // be read there.
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* out,
                                       std::size_t length) = 0;
};

// An image file or a block device, opened read-only.
Result<std::unique_ptr<ByteSource>> OpenByteSource(const std::string& path);
// The same over a descriptor opened elsewhere (a device opened through the
// system's disk service); takes ownership of `fd`. `name` is for messages.
Result<std::unique_ptr<ByteSource>> ByteSourceFromFd(int fd, const std::string& name);

// Sectors by number.
class SectorReader {
  public:
    virtual ~SectorReader() = default;
    // Bytes of the source; its last sector may be partial.
    virtual std::uint64_t size() const = 0;
    std::uint64_t SectorCount() const { return (size() + kSectorSize - 1) / kSectorSize; }
    // Reads sectors first .. first + count - 1 into `out` (count * 512
    // bytes). Bytes past the end of the source read as zero. A sector that
    // cannot be read is zero-filled and flagged with 1 in `unreadable`
    // (count entries, 0 for the others). Returns the unreadable sectors.
    virtual std::size_t ReadSectors(std::uint64_t first, std::size_t count, std::uint8_t* out,
                                    std::uint8_t* unreadable) = 0;
};

// Reads a ByteSource in one piece per call, and sector by sector where that
// fails; counts the sectors found unreadable over its life.
class RetryingSectorReader final : public SectorReader {
  public:
    explicit RetryingSectorReader(ByteSource& source) : source_(source) {}
    std::uint64_t size() const override { return source_.size(); }
    std::size_t ReadSectors(std::uint64_t first, std::size_t count, std::uint8_t* out,
                            std::uint8_t* unreadable) override;
    std::uint64_t unreadableSectors() const { return unreadable_; }

  private:
    ByteSource& source_;
    std::uint64_t unreadable_ = 0;
};

}  // namespace trx5
