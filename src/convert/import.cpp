#include "convert/import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "audiofile/converted_source.h"
#include "codec/take_codec.h"
#include "common/byte_size.h"
#include "common/file_io.h"
#include "common/folder.h"
#include "common/messages.h"
#include "convert/convert_messages.h"

namespace trx5 {

namespace {

constexpr std::size_t kBatchBlocks = 32;

// One take being written: a temporary file beside the target, renamed over
// it only when complete.
class TakeWriter {
  public:
    Status Create(const std::string& folder, int fileNumber, TakeSlot slot) {
        const std::string name = TakeFileName(fileNumber, slot.track, slot.vtake);
        // Replace a take that is there under another letter case instead of
        // leaving two files for one slot.
        targetPath_ = FindFileNoCase(folder, name);
        if (targetPath_.empty()) targetPath_ = folder + name;
        // A folder of that name could not be renamed over at the end, after
        // the other take has been replaced: refuse it before writing.
        if (struct stat st{}; stat(targetPath_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, ErrnoText(EISDIR))
                .WithPath(targetPath_);
        }
        if (Status s = temp_.Create(folder, name); !s) {
            return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, s.reason())
                .WithPath(targetPath_);
        }
        return Status::Ok();
    }

    Status Write(const void* bytes, std::size_t count) {
        if (Status s = temp_.Write(bytes, count); !s) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason())
                .WithPath(targetPath_);
        }
        return Status::Ok();
    }

    // Puts the whole take on the device; it stays under its temporary name.
    Status Flush() {
        if (Status s = temp_.Flush(); !s) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason())
                .WithPath(targetPath_);
        }
        return Status::Ok();
    }

    Status Commit() {
        if (Status s = temp_.CommitTo(targetPath_); !s) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason())
                .WithPath(targetPath_);
        }
        return Status::Ok();
    }

    const std::string& targetPath() const { return targetPath_; }

  private:
    TempFile temp_;
    std::string targetPath_;
};

// Refuses takes of `frames` frames each that will not fit in the free space
// of the card's file system, before anything is written: "The take needs
// 4.0 GB; the card has 120 MB free."
Status CheckRoom(const std::string& folder, std::uint64_t frames, bool longMode,
                 std::size_t takes) {
    const auto space = FreeSpace(folder);
    if (!space) return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, space.reason());
    if (!space->known) return Status::Ok();
    const std::uint64_t free = space->bytes;
    const std::uint64_t spb = SamplesPerBlock(longMode);
    using Wide = unsigned __int128;
    const Wide blocks = (Wide(frames) + spb - 1) / spb;
    const Wide needed = (kTakeHeaderSize + blocks * kTakeBlockSize) * takes;
    if (needed <= free) return Status::Ok();
    const std::uint64_t shown = needed > UINT64_MAX ? UINT64_MAX : std::uint64_t(needed);
    return Status::Fail(ErrorCode::NoSpace,
                        TakesNeedSpaceText(takes, FormatByteSize(shown), FormatByteSize(free)));
}

}  // namespace

std::string RateChange::Describe() const {
    char rate[48];
    std::snprintf(rate, sizeof rate, "%.10g", from);
    return RateChangeText(rate, std::to_string(to));
}

std::optional<RateChange> ImportRateChange(double fileRate, bool longMode) {
    const auto songRate = static_cast<std::uint32_t>(SampleRate(longMode));
    if (fileRate == songRate) return std::nullopt;
    return RateChange{fileRate, songRate};
}

std::optional<RateChange> ImportRateChange(const AudioSourceInfo& info, bool longMode) {
    return ImportRateChange(info.rate, longMode);
}

Result<ImportOutcome> ImportTakes(const ImportRequest& request, Progress& progress) {
    // Opened without counting, so a file that is refused for its channels
    // or rate is refused at once; the frames are counted below.
    auto opened = AudioSource::Open(request.sourcePath, FrameCount::kEstimate);
    if (!opened) return opened.status().WithPath(request.sourcePath);
    const AudioSourceInfo file = opened.value()->info();
    const bool longMode = request.longMode;

    // A mix asked for a file that is not stereo is refused rather than
    // ignored; with a take for the right channel no mix is made anyway.
    if (request.mixToMono && !request.second && file.channels != 2) {
        return Status::Fail(
                   ErrorCode::Failed, kMsgMixNeedsStereo,
                   file.channels == 1 ? std::string(kReasonMono) : ChannelCountText(file.channels))
            .WithPath(request.sourcePath);
    }

    // The right channel goes to the second target only for a stereo file.
    std::vector<TakeSlot> slots{request.first};
    if (request.second && file.channels == 2 &&
        (request.second->track != request.first.track ||
         request.second->vtake != request.first.vtake)) {
        slots.push_back(*request.second);
    }

    // One channel per take, at the song's rate unless the samples are kept
    // as they are.
    SourceConversion conversion;
    conversion.channels = static_cast<int>(slots.size());
    conversion.mixStereo = request.mixToMono;
    if (!request.keepRate) {
        if (const auto change = ImportRateChange(file, longMode)) conversion.rate = change->to;
    }
    auto shaped = ConvertSource(std::move(opened.value()), conversion);
    if (!shaped) return shaped.status().WithPath(request.sourcePath);
    const std::unique_ptr<AudioSource> source = std::move(shaped.value());

    ImportOutcome outcome;
    // Counting may decode the whole file (an MPEG stream always): a stop
    // asked for meanwhile cancels the import before anything is written.
    const auto counted = source->CountFrames([&progress] { return progress.Step(0, 1); });
    if (!counted) return counted.status().WithPath(request.sourcePath);
    if (!*counted) {
        outcome.cancelled = true;
        return outcome;
    }

    const std::string folder = WithTrailingSlash(request.cardDir);
    RemoveStaleTempFiles(folder);
    if (Status s = CheckRoom(folder, source->info().frames, longMode, slots.size()); !s) return s;
    std::vector<std::unique_ptr<TakeWriter>> takes;
    const TakeHeader header = MakeTakeHeader(longMode);
    for (const TakeSlot& slot : slots) {
        auto take = std::make_unique<TakeWriter>();
        if (Status s = take->Create(folder, request.fileNumber, slot); !s) return s;
        if (Status s = take->Write(header.data(), header.size()); !s) return s;
        takes.push_back(std::move(take));
    }

    const std::size_t spb = SamplesPerBlock(longMode);
    const std::size_t kept = takes.size();
    const std::uint64_t frames = source->info().frames;
    const std::uint64_t blocks = frames / spb;
    const std::size_t tail = frames % spb;

    std::vector<std::int16_t> frameBuffer;
    std::vector<std::int16_t> channelBuffer;
    std::vector<std::uint8_t> coded;
    std::uint64_t framesCoded = 0;
    // Reads up to `framesToRead` frames and appends the blocks that hold any
    // of them to every take, the frames after those read being zero.
    // Returns through `got` the frames read.
    auto codeBlocks = [&](std::size_t framesToRead, std::size_t& got) -> Status {
        const std::size_t count = (framesToRead + spb - 1) / spb;
        frameBuffer.assign(count * spb * kept, 0);
        channelBuffer.resize(count * spb);
        coded.resize(count * kTakeBlockSize);
        got = source->ReadChannels(frameBuffer.data(), framesToRead, static_cast<int>(kept));
        framesCoded += got;
        const std::size_t filled = (got + spb - 1) / spb;
        for (std::size_t k = 0; k < kept; ++k) {
            for (std::size_t i = 0; i < filled * spb; ++i)
                channelBuffer[i] = frameBuffer[i * kept + k];
            EncodeTakeBlocks(coded.data(), channelBuffer.data(), filled, longMode);
            if (Status s = takes[k]->Write(coded.data(), filled * kTakeBlockSize); !s) return s;
        }
        return Status::Ok();
    };

    outcome.blocks = blocks;
    std::uint64_t done = 0;
    // Set when the file gives fewer frames than it promised (a stream that
    // cannot be decoded to its end); the take ends with the last of them.
    bool endedEarly = false;
    while (done < blocks && !outcome.cancelled && !endedEarly) {
        std::size_t batch =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBatchBlocks, blocks - done));
        for (std::size_t j = 0; j < batch; ++j) {
            if (!progress.Step(done + j, blocks)) {
                outcome.cancelled = true;
                batch = j;
                break;
            }
        }
        if (batch > 0) {
            std::size_t got = 0;
            if (Status s = codeBlocks(batch * spb, got); !s) return s;
            done += batch;
            endedEarly = got < batch * spb;
        }
    }
    // A cancelled import leaves the old takes alone; the temporary files go
    // with their writers.
    if (outcome.cancelled && !request.keepPartOnAbort) return outcome;
    // The frames left over after the whole blocks make one more block, also
    // after an abort (then they are the frames that follow the last block
    // written).
    if (tail > 0 && !endedEarly) {
        std::size_t got = 0;
        if (Status s = codeBlocks(tail, got); !s) return s;
        endedEarly = got < tail;
    }
    if (endedEarly) {
        if (framesCoded == 0) {
            return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile).WithPath(request.sourcePath);
        }
        outcome.blocks = framesCoded / spb;
    }

    for (auto& take : takes) {
        if (Status s = take->Flush(); !s) return s;
    }
    if (request.beforeCommit) {
        std::vector<std::string> targets;
        for (const auto& take : takes) targets.push_back(take->targetPath());
        if (Status s = request.beforeCommit(targets); !s) return s;
    }
    for (auto& take : takes) {
        if (Status s = take->Commit(); !s) return s;
        outcome.takePaths.push_back(take->targetPath());
    }
    SyncFolder(folder);
    return outcome;
}

}  // namespace trx5
