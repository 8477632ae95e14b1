// A card image for the rescue's harnesses: the first input byte chooses
// which of the first eight sectors cannot be read, the rest is the image.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rescue/sector_reader.h"

namespace trx5fuzz {

// The image in memory; a read touching a bad sector fails as a whole.
class ImageSource final : public trx5::ByteSource {
  public:
    using Bytes = std::vector<std::uint8_t>;

    // From a fuzz input of at least one byte.
    ImageSource(const std::uint8_t* data, std::size_t size)
        : bytes_(data + 1, data + size), bad_(data[0]) {}
    std::uint64_t size() const override { return bytes_.size(); }
    trx5::Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* out,
                                     std::size_t length) override {
        const std::uint64_t end = std::min<std::uint64_t>(offset + length, bytes_.size());
        if (offset >= end) return std::size_t{0};
        for (std::uint64_t s = offset / 512; s * 512 < end && s < 8; ++s) {
            if (Bad(s)) return trx5::Status::Fail(trx5::ErrorCode::CannotOpen, "bad sector");
        }
        std::memcpy(out, bytes_.data() + offset, end - offset);
        return static_cast<std::size_t>(end - offset);
    }
    bool Bad(std::uint64_t sector) const { return sector < 8 && (bad_ >> sector & 1) != 0; }
    const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_;
    std::uint8_t bad_;
};

}  // namespace trx5fuzz
