// The peak envelope of a take file, for a small picture of its waveform, and
// a cache that keeps envelopes while their files stay unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/result.h"

namespace trx5 {

struct EnvelopeColumn {
    std::int16_t min = 0;
    std::int16_t max = 0;
    bool operator==(const EnvelopeColumn&) const = default;
};

struct PeakEnvelope {
    std::vector<EnvelopeColumn> columns;
    std::uint64_t blocks = 0;    // whole blocks of the take
    std::uint64_t lengthMs = 0;  // TakeLengthMs of them
};

// The smallest and largest decoded sample per column. The N samples of the
// take's whole blocks are split evenly: column c covers the samples from
// c * N / columns up to (c + 1) * N / columns. With more columns than
// samples a column whose span is empty takes the one sample at its start,
// so no column of the picture is blank; a take without samples gives
// columns of zeros. The file is read and decoded in batches of blocks, so
// memory does not grow with the take.
Result<PeakEnvelope> TakeEnvelope(const std::string& path, bool longMode, int columns);

// Envelopes by path, kept while the file's size, modification time and
// identity (a file replaced by a rename is new) stay the same; a file that
// changed is read again. Holds at most `capacity` envelopes, dropping the
// one used longest ago.
class EnvelopeCache {
  public:
    explicit EnvelopeCache(std::size_t capacity = 64) : capacity_(capacity) {}

    Result<std::shared_ptr<const PeakEnvelope>> Get(const std::string& path, bool longMode,
                                                    int columns);

    std::size_t size() const { return entries_.size(); }
    void Clear() { entries_.clear(); }
    // Envelopes computed so far (requests the cache could not answer).
    std::uint64_t computations() const { return computations_; }

  private:
    struct FileStamp {
        std::uint64_t size = 0;
        std::int64_t mtimeSec = 0;
        std::int64_t mtimeNsec = 0;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct Entry {
        std::string path;
        bool longMode = false;
        int columns = 0;
        FileStamp stamp;
        std::shared_ptr<const PeakEnvelope> envelope;
        std::uint64_t lastUse = 0;
    };

    std::size_t capacity_;
    std::vector<Entry> entries_;
    std::uint64_t uses_ = 0;
    std::uint64_t computations_ = 0;
};

}  // namespace trx5
