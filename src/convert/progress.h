#pragma once

#include <cstdint>

namespace trx5 {

// Told once per block, before the block is worked; answers whether to go on.
class Progress {
  public:
    virtual ~Progress() = default;
    virtual bool Step(std::uint64_t block, std::uint64_t blocks) = 0;
};

class NoProgress final : public Progress {
  public:
    bool Step(std::uint64_t, std::uint64_t) override { return true; }
};

}  // namespace trx5
