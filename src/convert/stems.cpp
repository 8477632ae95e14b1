#include "convert/stems.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "card/card_info.h"
#include "card/take_reader.h"
#include "common/file_io.h"
#include "common/folder.h"
#include "common/messages.h"
#include "convert/convert_messages.h"

namespace trx5 {

namespace {

// One file to write: its name in the output folder and the export that
// makes it (the output path is filled in when it is written).
struct StemJob {
    std::string name;
    ExportRequest request;
    std::uint64_t blocks = 0;
};

// Turns the per-file steps of each export into steps of the whole run.
class RunningProgress final : public Progress {
  public:
    RunningProgress(Progress& outer, std::uint64_t total) : outer_(outer), total_(total) {}

    bool Step(std::uint64_t block, std::uint64_t) override {
        const std::uint64_t at = done_ + block;
        if (at >= total_) total_ = at + 1;  // a take that grew since it was measured
        return outer_.Step(at, total_);
    }
    void FileDone(std::uint64_t blocks) { done_ += blocks; }

  private:
    Progress& outer_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
};

// Makes `folder` (ending with "/") and its missing parents; a file on the
// way is "Not a directory".
Status MakeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0 || errno == ENOTDIR) {
        return S_ISDIR(st.st_mode) ? Status::Ok()
                                   : Status::Fail(ErrorCode::CannotCreate, {}, ErrnoText(ENOTDIR));
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return ec ? Status::Fail(ErrorCode::CannotCreate, {}, ec.message()) : Status::Ok();
}

// The whole blocks of a take, for the run's progress; none when it cannot be
// opened (its export then fails).
std::uint64_t MeasuredBlocks(const std::string& path) {
    const Result<TakeReader> take = TakeReader::Open(path);
    return take ? take->blocks() : 0;
}

// The stems of one song (and its mix), in track and V-Take order.
void AddSongJobs(const std::string& card, const SongEntry& song, const StemsRequest& request,
                 std::vector<StemJob>& jobs) {
    const TakeFiles files = FindTakeFiles(card, song.fileNumber);
    for (int t = 0; t < kTracks; ++t) {
        for (int v = 0; v < kVTakes; ++v) {
            const std::string& path = files[SlotIndex(t, v)];
            if (path.empty()) continue;
            StemJob job;
            job.name = StemFileName(song.SongNumber(), t + 1, v + 1, request.format);
            job.request.longMode = song.longMode;
            job.request.takePaths[t] = path;
            job.request.format = request.format;
            job.blocks = MeasuredBlocks(path);
            jobs.push_back(std::move(job));
        }
    }
    if (!request.mix) return;
    StemJob mix;
    mix.name = MixFileName(song.SongNumber(), request.format);
    mix.request.longMode = song.longMode;
    mix.request.levels = request.mix->levels;
    mix.request.pans = request.mix->pans;
    mix.request.format = request.format;
    bool any = false;
    for (int t = 0; t < kTracks; ++t) {
        const int v = request.mix->vtakes[t];
        if (v < 0 || v >= kVTakes || files[SlotIndex(t, v)].empty()) continue;
        mix.request.takePaths[t] = files[SlotIndex(t, v)];
        mix.blocks = std::max(mix.blocks, MeasuredBlocks(mix.request.takePaths[t]));
        any = true;
    }
    if (any) jobs.push_back(std::move(mix));
}

// A failure of the run: "The file could not be written." about `path`, the
// file (or folder) it concerns, with what went wrong as the reason.
Status StemsFailure(ErrorCode code, const std::string& path, std::string reason) {
    return Status::Fail(code, kMsgCannotWrite, std::move(reason)).WithPath(path);
}

// A failure in writing `target`: the inner failure's message and reason
// are the reason. A take that could not be read is the file it concerns.
Status JobFailure(const Status& inner, const std::string& target) {
    const bool take = inner.code() == ErrorCode::CannotOpen && !inner.path().empty();
    return StemsFailure(inner.code(), take ? inner.path() : target, inner.Describe());
}

// Writes one file. ExportTakes finishes a shorter file when it is stopped,
// so it writes into a staging file of our own, which takes the real name
// only when the export ran to its end; a cancelled one is removed.
Status WriteJob(const std::string& folder, StemJob& job, RunningProgress& progress,
                bool& cancelled) {
    const std::string target = folder + job.name;
    struct stat st {};
    const bool exists = lstat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        return JobFailure(
            Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, ErrnoText(EISDIR)), target);
    }
    TempFile staging;
    if (Status s = staging.Create(folder, job.name); !s) {
        return JobFailure(Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, s.reason()),
                          target);
    }
    // A file that is replaced keeps its permissions (the export copies them
    // from the staging file).
    if (exists && S_ISREG(st.st_mode)) fchmod(fileno(staging.file()), st.st_mode & 07777);

    job.request.outputPath = staging.path();
    const Result<ExportOutcome> result = ExportTakes(job.request, progress);
    if (!result) return JobFailure(result.status(), target);
    if (result->cancelled) {
        staging.Discard();
        cancelled = true;
        return Status::Ok();
    }
    // The export has put the data on the device; only the name changes. The
    // folder's names are put on the device once, at the end of the run.
    if (Status s = staging.CommitTo(target); !s) {
        return JobFailure(Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason()),
                          target);
    }
    progress.FileDone(result->blocks);
    return Status::Ok();
}

}  // namespace

std::string StemFileName(int songNumber, int track, int vtake, ExportFormat format) {
    return "Song" + SongNumberText(songNumber) + "_Track" + std::to_string(track) + "_VTake" +
           std::to_string(vtake) + ExportFileExtension(format);
}

std::string MixFileName(int songNumber, ExportFormat format) {
    return "Song" + SongNumberText(songNumber) + "_Mix" + ExportFileExtension(format);
}

namespace {

// The files a request writes, in order; fails when the card or the song is
// not there.
Result<std::vector<StemJob>> PlanStems(const StemsRequest& request) {
    const std::string card = WithTrailingSlash(request.cardDir);
    if (Status s = CheckCardFolder(card); !s) return s;
    std::vector<SongEntry> songs = ListSongs(card);
    if (request.fileNumber) {
        std::erase_if(songs,
                      [&](const SongEntry& s) { return s.fileNumber != *request.fileNumber; });
        if (songs.empty()) {
            return StemsFailure(ErrorCode::Failed, request.cardDir,
                                NoSongText(SongNumberText(*request.fileNumber + 1)));
        }
    }
    std::vector<StemJob> jobs;
    for (const SongEntry& song : songs) AddSongJobs(card, song, request, jobs);
    return jobs;
}

std::vector<std::string> ExistingTargets(const std::string& folder,
                                         const std::vector<StemJob>& jobs) {
    std::vector<std::string> existing;
    for (const StemJob& job : jobs) {
        struct stat st {};
        if (lstat((folder + job.name).c_str(), &st) == 0) existing.push_back(folder + job.name);
    }
    return existing;
}

}  // namespace

std::vector<std::string> StemsExistingFiles(const StemsRequest& request) {
    const auto jobs = PlanStems(request);
    if (!jobs) return {};
    return ExistingTargets(WithTrailingSlash(request.outputFolder), *jobs);
}

Result<StemsOutcome> ExportStems(const StemsRequest& request, Progress& progress,
                                 std::vector<std::string>& written) {
    auto planned = PlanStems(request);
    if (!planned) return planned.status();
    std::vector<StemJob>& jobs = *planned;
    StemsOutcome outcome;
    for (const StemJob& job : jobs) outcome.blocks += job.blocks;

    const std::string folder = WithTrailingSlash(request.outputFolder);
    if (!request.replaceExisting) {
        const std::vector<std::string> existing = ExistingTargets(folder, jobs);
        if (!existing.empty()) {
            return StemsFailure(ErrorCode::Exists, existing.front(), ErrnoText(EEXIST));
        }
    }
    if (Status s = MakeFolders(folder); !s) {
        return StemsFailure(ErrorCode::CannotCreate, request.outputFolder, s.reason());
    }
    // Temporary files that killed runs left behind.
    RemoveStaleTempFiles(folder);

    RunningProgress running(progress, outcome.blocks);
    Status failure = Status::Ok();
    for (StemJob& job : jobs) {
        failure = WriteJob(folder, job, running, outcome.cancelled);
        if (!failure || outcome.cancelled) break;
        written.push_back(folder + job.name);
    }
    SyncFolder(folder);
    if (!failure) return failure;
    return outcome;
}

}  // namespace trx5
