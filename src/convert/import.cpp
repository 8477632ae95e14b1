#include "convert/import.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "audiofile/audio_file_info.h"
#include "codec/take_codec.h"
#include "common/folder.h"
#include "convert/export.h"

namespace trx5 {

namespace {

constexpr std::size_t kBatchBlocks = 32;
// Upper bound for one batch of source samples; files with very many channels
// are read fewer blocks at a time.
constexpr std::size_t kMaxBatchSamples = 1 << 20;

// One take being written: a temporary file beside the target, renamed over
// it only when complete.
class TakeWriter {
  public:
    TakeWriter() = default;
    TakeWriter(const TakeWriter&) = delete;
    TakeWriter& operator=(const TakeWriter&) = delete;
    ~TakeWriter() {
        if (file_ != nullptr) std::fclose(file_);
        if (!committed_ && !tempPath_.empty()) std::remove(tempPath_.c_str());
    }

    Status Create(const std::string& folder, int fileNumber, TakeSlot slot) {
        const std::string name = TakeFileName(fileNumber, slot.track, slot.vtake);
        // Replace a take that is there under another letter case instead of
        // leaving two files for one slot.
        targetPath_ = FindFileNoCase(folder, name);
        if (targetPath_.empty()) targetPath_ = folder + name;
        // A folder of that name could not be renamed over at the end, after
        // the other take has been replaced: refuse it before writing.
        if (struct stat st{}; stat(targetPath_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            return Status::Fail(kMsgCannotCreate);
        }
        tempPath_ = targetPath_ + ".tmp";
        file_ = std::fopen(tempPath_.c_str(), "wb");
        if (file_ == nullptr) {
            tempPath_.clear();
            return Status::Fail(kMsgCannotCreate);
        }
        return Status::Ok();
    }

    Status Write(const void* bytes, std::size_t count) {
        if (std::fwrite(bytes, 1, count, file_) != count) return Status::Fail(kMsgCannotWrite);
        return Status::Ok();
    }

    // Flushes the take to the disk and closes it.
    Status Close() {
        std::FILE* f = std::exchange(file_, nullptr);
        bool ok = std::fflush(f) == 0;
        ok = fsync(fileno(f)) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
        return ok ? Status::Ok() : Status::Fail(kMsgCannotWrite);
    }

    Status Commit() {
        if (std::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
            return Status::Fail(kMsgCannotWrite);
        }
        committed_ = true;
        return Status::Ok();
    }

    const std::string& targetPath() const { return targetPath_; }

  private:
    std::FILE* file_ = nullptr;
    std::string targetPath_;
    std::string tempPath_;
    bool committed_ = false;
};

struct SourceFile {
    std::FILE* file = nullptr;
    AudioFileInfo info;
    ~SourceFile() {
        FreeAudioFileInfo(info);
        if (file != nullptr) std::fclose(file);
    }
};

}  // namespace

Result<ImportOutcome> ImportTakes(const ImportRequest& request, Progress& progress) {
    SourceFile source;
    source.file = std::fopen(request.sourcePath.c_str(), "rb");
    if (source.file == nullptr) return Status::Fail(kMsgCannotOpen);
    // A file that claims frames but holds no sample data would only give
    // silence in place of the takes; it is refused like any unusable file.
    if (OpenAudioFileInfo(source.info, source.file) == AudioKindNone ||
        (source.info.frames > 0 && source.info.dataStart == 0)) {
        return Status::Fail(kMsgNotAudioFile);
    }
    const AudioFileInfo& info = source.info;
    const std::size_t channels = static_cast<std::size_t>(std::max(info.channels, 0));

    // The right channel goes to the second target only for a stereo file.
    std::vector<TakeSlot> slots{request.first};
    if (request.second && channels == 2 &&
        (request.second->track != request.first.track ||
         request.second->vtake != request.first.vtake)) {
        slots.push_back(*request.second);
    }

    const std::string folder = WithTrailingSlash(request.cardDir);
    const bool longMode = request.longMode;
    std::vector<std::unique_ptr<TakeWriter>> takes;
    const TakeHeader header = MakeTakeHeader(longMode);
    for (const TakeSlot& slot : slots) {
        auto take = std::make_unique<TakeWriter>();
        if (Status s = take->Create(folder, request.fileNumber, slot); !s) return s;
        if (Status s = take->Write(header.data(), header.size()); !s) return s;
        takes.push_back(std::move(take));
    }

    const std::size_t spb = SamplesPerBlock(longMode);
    const std::uint64_t frames = info.frames;
    const std::uint64_t blocks = frames / spb;
    const std::size_t tail = frames % spb;
    const std::size_t batchLimit =
        channels == 0
            ? kBatchBlocks
            : std::clamp<std::size_t>(kMaxBatchSamples / (spb * channels), 1, kBatchBlocks);

    std::vector<std::int16_t> frameBuffer;
    std::vector<std::int16_t> channelBuffer;
    std::vector<std::uint8_t> coded;
    // Reads `count` blocks of frames at the current position and appends them,
    // coded, to every take; frames the file does not supply are zero.
    auto codeBlocks = [&](std::size_t count, std::size_t framesToRead) -> Status {
        frameBuffer.assign(count * spb * channels, 0);
        channelBuffer.resize(count * spb);
        coded.resize(count * kTakeBlockSize);
        ReadFrames(info, source.file, framesToRead, frameBuffer.data());
        for (std::size_t k = 0; k < takes.size(); ++k) {
            for (std::size_t i = 0; i < count * spb; ++i) {
                channelBuffer[i] = channels == 0 ? 0 : frameBuffer[i * channels + k];
            }
            EncodeTakeBlocks(coded.data(), channelBuffer.data(), count, longMode);
            if (Status s = takes[k]->Write(coded.data(), coded.size()); !s) return s;
        }
        return Status::Ok();
    };

    ImportOutcome outcome;
    outcome.blocks = blocks;
    if (frames > 0) {
        if (Status s = SeekFrame(info, source.file, 0); !s) return Status::Fail(kMsgCannotOpen);
    }
    std::uint64_t done = 0;
    while (done < blocks && !outcome.aborted) {
        std::size_t batch =
            static_cast<std::size_t>(std::min<std::uint64_t>(batchLimit, blocks - done));
        for (std::size_t j = 0; j < batch; ++j) {
            if (!progress.Step(done + j, blocks)) {
                outcome.aborted = true;
                batch = j;
                break;
            }
        }
        if (batch == 0) break;
        if (Status s = codeBlocks(batch, batch * spb); !s) return s;
        done += batch;
    }
    // The frames left over after the whole blocks make one more block, also
    // after an abort (then they are the frames that follow the last block
    // written).
    if (tail > 0) {
        if (Status s = SeekFrame(info, source.file, static_cast<std::uint32_t>(done * spb)); !s) {
            return Status::Fail(kMsgCannotOpen);
        }
        if (Status s = codeBlocks(1, tail); !s) return s;
    }

    for (auto& take : takes) {
        if (Status s = take->Close(); !s) return s;
    }
    for (auto& take : takes) {
        if (Status s = take->Commit(); !s) return s;
        outcome.takePaths.push_back(take->targetPath());
    }
    return outcome;
}

}  // namespace trx5
