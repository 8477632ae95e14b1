#include "convert/import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "audiofile/audio_file_info.h"
#include "codec/take_codec.h"
#include "common/file_io.h"
#include "common/folder.h"
#include "common/messages.h"

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
            return Status::Fail(kMsgCannotCreate, ErrnoText(EISDIR));
        }
        if (Status s = temp_.Create(folder, name); !s) {
            return Status::Fail(kMsgCannotCreate, s.reason());
        }
        return Status::Ok();
    }

    Status Write(const void* bytes, std::size_t count) {
        if (Status s = temp_.Write(bytes, count); !s)
            return Status::Fail(kMsgCannotWrite, s.reason());
        return Status::Ok();
    }

    // Puts the whole take on the device; it stays under its temporary name.
    Status Flush() {
        if (Status s = temp_.Flush(); !s) return Status::Fail(kMsgCannotWrite, s.reason());
        return Status::Ok();
    }

    Status Commit() {
        if (Status s = temp_.CommitTo(targetPath_); !s) {
            return Status::Fail(kMsgCannotWrite, s.reason());
        }
        return Status::Ok();
    }

    const std::string& targetPath() const { return targetPath_; }

  private:
    TempFile temp_;
    std::string targetPath_;
};

}  // namespace

Result<ImportOutcome> ImportTakes(const ImportRequest& request, Progress& progress) {
    std::string reason;
    const FilePtr source = OpenRegularFile(request.sourcePath, &reason);
    if (!source) return Status::Fail(kMsgCannotOpen, reason);
    AudioFileInfo info;
    OpenAudioFileInfo(info, source.get());
    struct stat st {};
    if (fstat(fileno(source.get()), &st) != 0)
        return Status::Fail(kMsgCannotOpen, ErrnoText(errno));
    // Only the frames the file really holds are coded; a file without any
    // would only make an empty take.
    const std::uint64_t frames = IsUsableAudio(info) ? FramesInFile(info, st.st_size) : 0;
    if (frames == 0) return Status::Fail(kMsgNotAudioFile);

    // The right channel goes to the second target only for a stereo file.
    std::vector<TakeSlot> slots{request.first};
    if (request.second && info.channels == 2 &&
        (request.second->track != request.first.track ||
         request.second->vtake != request.first.vtake)) {
        slots.push_back(*request.second);
    }

    const std::string folder = WithTrailingSlash(request.cardDir);
    RemoveStaleTempFiles(folder);
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
    const std::size_t kept = takes.size();
    const std::uint64_t blocks = frames / spb;
    const std::size_t tail = frames % spb;

    std::vector<std::int16_t> frameBuffer;
    std::vector<std::int16_t> channelBuffer;
    std::vector<std::uint8_t> coded;
    // Reads `framesToRead` frames at the current position and appends
    // `count` coded blocks of them to every take; the frames after those
    // read are zero.
    auto codeBlocks = [&](std::size_t count, std::size_t framesToRead) -> Status {
        frameBuffer.assign(count * spb * kept, 0);
        channelBuffer.resize(count * spb);
        coded.resize(count * kTakeBlockSize);
        ReadFrameChannels(info, source.get(), framesToRead, static_cast<int>(kept),
                          frameBuffer.data());
        for (std::size_t k = 0; k < kept; ++k) {
            for (std::size_t i = 0; i < count * spb; ++i)
                channelBuffer[i] = frameBuffer[i * kept + k];
            EncodeTakeBlocks(coded.data(), channelBuffer.data(), count, longMode);
            if (Status s = takes[k]->Write(coded.data(), coded.size()); !s) return s;
        }
        return Status::Ok();
    };

    ImportOutcome outcome;
    outcome.blocks = blocks;
    if (Status s = SeekFrame(info, source.get(), 0); !s) {
        return Status::Fail(kMsgCannotOpen, ErrnoText(errno));
    }
    std::uint64_t done = 0;
    while (done < blocks && !outcome.aborted) {
        std::size_t batch =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBatchBlocks, blocks - done));
        for (std::size_t j = 0; j < batch; ++j) {
            if (!progress.Step(done + j, blocks)) {
                outcome.aborted = true;
                batch = j;
                break;
            }
        }
        if (batch > 0) {
            if (Status s = codeBlocks(batch, batch * spb); !s) return s;
            done += batch;
        }
    }
    // A cancelled import leaves the old takes alone; the temporary files go
    // with their writers.
    if (outcome.aborted && !request.keepPartOnAbort) return outcome;
    // The frames left over after the whole blocks make one more block, also
    // after an abort (then they are the frames that follow the last block
    // written).
    if (tail > 0) {
        if (Status s = SeekFrame(info, source.get(), static_cast<std::uint32_t>(done * spb)); !s) {
            return Status::Fail(kMsgCannotOpen, ErrnoText(errno));
        }
        if (Status s = codeBlocks(1, tail); !s) return s;
    }

    for (auto& take : takes) {
        if (Status s = take->Flush(); !s) return s;
    }
    for (auto& take : takes) {
        if (Status s = take->Commit(); !s) return s;
        outcome.takePaths.push_back(take->targetPath());
    }
    SyncFolder(folder);
    return outcome;
}

}  // namespace trx5
