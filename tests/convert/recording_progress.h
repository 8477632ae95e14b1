// A progress for the conversion tests that records its calls.
#pragma once

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "convert/progress.h"

namespace trx5test {

// Records every progress call and asks to stop at block `stopAt`.
class RecordingProgress final : public trx5::Progress {
  public:
    explicit RecordingProgress(std::uint64_t stopAt = std::numeric_limits<std::uint64_t>::max())
        : stopAt_(stopAt) {}
    bool Step(std::uint64_t block, std::uint64_t blocks) override {
        calls.push_back({block, blocks});
        return block != stopAt_;
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;

  private:
    std::uint64_t stopAt_;
};

}  // namespace trx5test
