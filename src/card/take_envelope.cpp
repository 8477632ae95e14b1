#include "card/take_envelope.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "card/take_file.h"
#include "card/take_reader.h"
#include "codec/take_codec.h"
#include "common/file_io.h"
#include "common/messages.h"

namespace trx5 {

namespace {

// Blocks read and decoded per step: a few dozen kilobytes of buffers.
constexpr std::size_t kBatchBlocks = 64;

// Where column c's span starts, c * samples / columns, computed without
// overflow for any take and any int column count.
class ColumnSpans {
  public:
    ColumnSpans(std::uint64_t samples, std::uint64_t columns)
        : quotient_(samples / columns), remainder_(samples % columns), columns_(columns) {}
    std::uint64_t Start(std::uint64_t c) const { return c * quotient_ + c * remainder_ / columns_; }
    // An empty span is widened to the one sample at its start.
    std::uint64_t End(std::uint64_t c) const { return std::max(Start(c + 1), Start(c) + 1); }

  private:
    std::uint64_t quotient_;
    std::uint64_t remainder_;
    std::uint64_t columns_;
};

void AddRange(const std::int16_t* samples, std::size_t count, std::int16_t& lo, std::int16_t& hi) {
    for (std::size_t i = 0; i < count; ++i) {
        lo = std::min(lo, samples[i]);
        hi = std::max(hi, samples[i]);
    }
}

}  // namespace

Result<PeakEnvelope> TakeEnvelope(const std::string& path, bool longMode, int columns) {
    Result<TakeReader> take = TakeReader::Open(path);
    if (!take) return take.status();

    PeakEnvelope envelope;
    envelope.blocks = take->blocks();
    envelope.lengthMs = TakeLengthMs(envelope.blocks, longMode);
    if (columns <= 0) return envelope;
    envelope.columns.assign(static_cast<std::size_t>(columns), EnvelopeColumn{});
    const std::size_t spb = static_cast<std::size_t>(SamplesPerBlock(longMode));
    const std::uint64_t samples = envelope.blocks * spb;
    if (samples == 0) return envelope;

    std::vector<std::uint8_t> coded(kBatchBlocks * kTakeBlockSize);
    std::vector<std::int16_t> decoded(kBatchBlocks * spb);
    const ColumnSpans spans(samples, static_cast<std::uint64_t>(columns));
    const std::uint64_t lastColumn = static_cast<std::uint64_t>(columns) - 1;
    std::uint64_t column = 0;
    std::uint64_t start = spans.Start(0);
    std::uint64_t end = spans.End(0);
    std::int16_t lo = INT16_MAX;
    std::int16_t hi = INT16_MIN;
    for (std::uint64_t block = 0; block < envelope.blocks;) {
        const std::size_t batch = static_cast<std::size_t>(
            std::min<std::uint64_t>(kBatchBlocks, envelope.blocks - block));
        // A file that shrank while being read: what is gone is silence, as
        // the export writes it.
        if (Result<std::size_t> read = take->Read(coded.data(), batch); !read) {
            return read.status();
        }
        DecodeTakeBlocks(coded.data(), decoded.data(), batch, longMode);

        const std::uint64_t first = block * spb;
        const std::uint64_t last = first + batch * spb;
        // Every column whose span meets this batch; a span that goes on into
        // the next batch is continued there.
        for (;;) {
            const std::uint64_t from = std::max(start, first);
            const std::uint64_t to = std::min(end, last);
            if (from < to) AddRange(decoded.data() + (from - first), to - from, lo, hi);
            if (end > last) break;
            envelope.columns[column] = {lo, hi};
            lo = INT16_MAX;
            hi = INT16_MIN;
            if (column == lastColumn) break;
            ++column;
            start = spans.Start(column);
            end = spans.End(column);
        }
        block += batch;
    }
    return envelope;
}

Result<std::shared_ptr<const PeakEnvelope>> EnvelopeCache::Get(const std::string& path,
                                                               bool longMode, int columns) {
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.path == path && e.longMode == longMode && e.columns == columns;
    });
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        if (found != entries_.end()) entries_.erase(found);
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen,
                            st.st_mode != 0 ? std::string(kReasonNotRegular) : ErrnoText(error))
            .WithPath(path);
    }
    // Taken before reading, so a change made while reading shows next time.
    const FileStamp stamp{
        static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec),
        static_cast<std::int64_t>(st.st_mtim.tv_nsec), static_cast<std::uint64_t>(st.st_dev),
        static_cast<std::uint64_t>(st.st_ino)};
    if (found != entries_.end() && found->stamp == stamp) {
        found->lastUse = ++uses_;
        return found->envelope;
    }

    Result<PeakEnvelope> computed = TakeEnvelope(path, longMode, columns);
    ++computations_;
    if (!computed) {
        if (found != entries_.end()) entries_.erase(found);
        return computed.status();
    }
    auto envelope = std::make_shared<const PeakEnvelope>(std::move(*computed));
    if (found == entries_.end()) {
        if (capacity_ == 0) return envelope;
        if (entries_.size() >= capacity_) {
            entries_.erase(std::min_element(
                entries_.begin(), entries_.end(),
                [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; }));
        }
        found = entries_.insert(entries_.end(), Entry{path, longMode, columns, {}, {}, 0});
    }
    found->stamp = stamp;
    found->envelope = envelope;
    found->lastUse = ++uses_;
    return envelope;
}

}  // namespace trx5
