#include "organize/take_organizer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

#include "audiofile/converted_source.h"
#include "card/card_info.h"
#include "card/take_reader.h"
#include "codec/take_codec.h"
#include "common/folder.h"
#include "common/messages.h"

namespace trx5 {

namespace {

constexpr std::size_t kBatchBlocks = 32;

// A take read as a mono source at its song's rate, so that the import's
// rate conversion can run on it.
class TakeSource final : public AudioSource {
  public:
    TakeSource(TakeReader reader, bool longMode) : reader_(std::move(reader)), longMode_(longMode) {
        info_.channels = 1;
        info_.rate = SampleRate(longMode);
        info_.frames = reader_.blocks() * SamplesPerBlock(longMode);
        info_.framesExact = true;
        info_.sampleFormat = "take";
    }

    std::size_t ReadChannels(std::int16_t* samples, std::size_t frames, int) override {
        const std::size_t spb = SamplesPerBlock(longMode_);
        std::size_t done = 0;
        while (done < frames) {
            if (next_ == pending_.size()) {
                if (blocksRead_ == reader_.blocks()) break;
                std::uint8_t block[kTakeBlockSize];
                const auto got = reader_.Read(block, 1);
                if (!got || *got == 0) break;
                ++blocksRead_;
                pending_.resize(spb);
                DecodeTakeBlock(block, pending_.data(), longMode_);
                next_ = 0;
            }
            const std::size_t n = std::min(frames - done, pending_.size() - next_);
            std::copy_n(pending_.data() + next_, n, samples + done);
            next_ += n;
            done += n;
        }
        return done;
    }

  protected:
    Result<bool> Count(const std::function<bool()>&) override { return true; }

  private:
    TakeReader reader_;
    bool longMode_;
    std::vector<std::int16_t> pending_;
    std::size_t next_ = 0;
    std::uint64_t blocksRead_ = 0;
};

struct SongModes {
    std::vector<SongEntry> songs;
    const SongEntry* Find(int fileNumber) const {
        for (const SongEntry& s : songs) {
            if (s.fileNumber == fileNumber) return &s;
        }
        return nullptr;
    }
};

Result<bool> SongMode(const SongModes& modes, int fileNumber) {
    const SongEntry* song = modes.Find(fileNumber);
    if (song == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoSong);
    return song->longMode;
}

std::string NameOf(TakePlace place) {
    return TakeFileName(place.fileNumber, place.slot.track, place.slot.vtake);
}

std::string SongFileName(int fileNumber) {
    char name[16];
    std::snprintf(name, sizeof name, "UtyPrm%02d.tx5", fileNumber);
    return name;
}

// The card's file of that name in any letter case; empty when none.
std::string Present(const TakeHistory& history, const std::string& name) {
    std::string path = FindFileNoCase(history.cardFolder(), name);
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return path;
}

bool SamePlace(TakePlace a, TakePlace b) {
    return a.fileNumber == b.fileNumber && a.slot.track == b.slot.track &&
           a.slot.vtake == b.slot.vtake;
}

Status Refused(const TakeHistory& history, const std::string& name) {
    return Status::Fail(ErrorCode::Exists, kMsgTakeOccupied).WithPath(history.cardFolder() + name);
}

// A file of the card, written under a temporary name and renamed over its
// target once all of an operation's files are ready.
struct Staged {
    std::string name;
    std::unique_ptr<TempFile> temp = std::make_unique<TempFile>();
};

// The take at `source` into a staged file: its bytes, or converted when the
// modes differ.
Status Stage(const std::string& folder, const std::string& source, bool fromLong, bool toLong,
             Staged& staged) {
    if (fromLong != toLong) {
        if (Status s = staged.temp->Create(folder, staged.name); !s) {
            return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, s.reason())
                .WithPath(folder + staged.name);
        }
        return WriteConvertedTake(source, fromLong, toLong, *staged.temp);
    }
    return CopyToTemp(source, folder, staged.name, *staged.temp);
}

// Keeps the card file `name` when it is there: its id for the step's
// change, and the name in the outcome.
Result<std::string> KeepIfPresent(TakeHistory& history, const std::string& name,
                                  OrganizeOutcome* outcome) {
    if (Present(history, name).empty()) return std::string();
    auto id = history.Keep(name);
    if (!id) return id.status();
    if (outcome != nullptr) outcome->kept.push_back(name);
    return *id;
}

// Renames the staged files over their targets, whose files have been kept.
Status CommitStaged(TakeHistory& history, std::vector<Staged>& staged) {
    for (Staged& s : staged) {
        std::string target = Present(history, s.name);
        if (target.empty()) target = history.cardFolder() + s.name;
        if (Status st = s.temp->CommitTo(target); !st) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, st.reason())
                .WithPath(target);
        }
    }
    SyncFolder(history.cardFolder());
    return Status::Ok();
}

Result<OrganizeOutcome> Finish(TakeHistory& history, HistoryStep step, OrganizeOutcome outcome,
                               const OrganizeOptions& options) {
    if (Status s = history.Record(std::move(step)); !s) return s;
    outcome.notes = history.Trim(options.historyLimit);
    return outcome;
}

// Carries out a step of renames; the takes they replace are the outcome's
// kept files.
Result<OrganizeOutcome> Rename(TakeHistory& history, HistoryStep step, OrganizeOutcome outcome,
                               const OrganizeOptions& options) {
    if (Status s = history.Perform(std::move(step)); !s) return s;
    for (const SlotChange& change : history.steps().back().changes) {
        if (!change.before.empty()) outcome.kept.push_back(change.name);
    }
    outcome.notes = history.Trim(options.historyLimit);
    return outcome;
}

Result<OrganizeOutcome> CopyOrMove(TakeHistory& history, TakePlace from, TakePlace to,
                                   const OrganizeOptions& options, bool move) {
    if (SamePlace(from, to)) return Status::Fail(ErrorCode::Failed, kMsgSameSlot);
    SongModes modes{ListSongs(history.cardFolder())};
    const auto fromLong = SongMode(modes, from.fileNumber);
    if (!fromLong) return fromLong.status();
    const auto toLong = SongMode(modes, to.fileNumber);
    if (!toLong) return toLong.status();
    const std::string fromName = NameOf(from);
    const std::string toName = NameOf(to);
    const std::string source = Present(history, fromName);
    if (source.empty()) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgNoSourceTake)
            .WithPath(history.cardFolder() + fromName);
    }
    if (options.noReplace && !Present(history, toName).empty()) return Refused(history, toName);

    OrganizeOutcome outcome;
    outcome.converted = *fromLong != *toLong;
    outcome.fromLong = *fromLong;
    outcome.toLong = *toLong;
    HistoryStep step;
    step.kind = move ? "move" : "copy";
    // A move within the card's modes is a rename: only a take it replaces
    // goes into the history, and undo renames it back.
    if (move && !outcome.converted) {
        step.renames.push_back({fromName, toName});
        return Rename(history, std::move(step), std::move(outcome), options);
    }

    // Anything else is written beside its target first.
    std::vector<Staged> staged;
    staged.push_back({toName});
    if (Status s = Stage(history.cardFolder(), source, *fromLong, *toLong, staged.back()); !s) {
        return s;
    }
    auto toBefore = KeepIfPresent(history, toName, &outcome);
    if (!toBefore) return toBefore.status();
    step.changes.push_back({toName, *toBefore, {}});
    if (move) {
        auto fromBefore = history.Keep(fromName);
        if (!fromBefore) return fromBefore.status();
        step.changes.push_back({fromName, *fromBefore, {}});
    }
    if (Status s = CommitStaged(history, staged); !s) return s;
    if (move) {
        if (unlink(source.c_str()) != 0) {
            const int error = errno;
            // The take is in its new place already; the step is recorded so
            // that undo finds the files.
            (void)history.Record(step);
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, ErrnoText(error))
                .WithPath(source);
        }
        SyncFolder(history.cardFolder());
    }
    return Finish(history, std::move(step), std::move(outcome), options);
}

}  // namespace

Status WriteConvertedTake(const std::string& source, bool fromLong, bool toLong, TempFile& out) {
    auto reader = TakeReader::Open(source);
    if (!reader) return reader.status().WithPath(source);
    SourceConversion conversion;
    conversion.channels = 1;
    conversion.rate = SampleRate(toLong);
    auto converted =
        ConvertSource(std::make_unique<TakeSource>(std::move(*reader), fromLong), conversion);
    if (!converted) return converted.status().WithPath(source);
    AudioSource& audio = *converted.value();

    auto write = [&out](const void* bytes, std::size_t count) -> Status {
        if (Status s = out.Write(bytes, count); !s) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason())
                .WithPath(out.path());
        }
        return Status::Ok();
    };
    const TakeHeader header = MakeTakeHeader(toLong);
    if (Status s = write(header.data(), header.size()); !s) return s;
    // Whole batches of blocks, the last one padded with silence, as the
    // import codes a file.
    const std::size_t spb = SamplesPerBlock(toLong);
    std::vector<std::int16_t> samples(kBatchBlocks * spb);
    std::vector<std::uint8_t> coded(kBatchBlocks * kTakeBlockSize);
    for (;;) {
        std::fill(samples.begin(), samples.end(), 0);
        const std::size_t got = audio.Read(samples.data(), samples.size());
        const std::size_t blocks = (got + spb - 1) / spb;
        EncodeTakeBlocks(coded.data(), samples.data(), blocks, toLong);
        if (Status s = write(coded.data(), blocks * kTakeBlockSize); !s) return s;
        if (got < samples.size()) break;
    }
    if (Status s = out.Flush(); !s) {
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason())
            .WithPath(out.path());
    }
    return Status::Ok();
}

Result<OrganizeOutcome> CopyTake(TakeHistory& history, TakePlace from, TakePlace to,
                                 const OrganizeOptions& options) {
    return CopyOrMove(history, from, to, options, false);
}

Result<OrganizeOutcome> MoveTake(TakeHistory& history, TakePlace from, TakePlace to,
                                 const OrganizeOptions& options) {
    return CopyOrMove(history, from, to, options, true);
}

Result<OrganizeOutcome> SwapTakes(TakeHistory& history, TakePlace a, TakePlace b,
                                  const OrganizeOptions& options) {
    if (SamePlace(a, b)) return Status::Fail(ErrorCode::Failed, kMsgSameSlot);
    SongModes modes{ListSongs(history.cardFolder())};
    const auto aLong = SongMode(modes, a.fileNumber);
    if (!aLong) return aLong.status();
    const auto bLong = SongMode(modes, b.fileNumber);
    if (!bLong) return bLong.status();
    const std::string aName = NameOf(a);
    const std::string bName = NameOf(b);
    const std::string aPath = Present(history, aName);
    const std::string bPath = Present(history, bName);
    if (aPath.empty() && bPath.empty()) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgNoSourceTake)
            .WithPath(history.cardFolder() + aName);
    }
    OrganizeOutcome outcome;
    outcome.converted = *aLong != *bLong;
    outcome.fromLong = *aLong;
    outcome.toLong = *bLong;

    HistoryStep step;
    step.kind = "swap";
    const std::string folder = history.cardFolder();
    // Within one mode the takes change places by renames, which undo turns
    // round; nothing goes into the history.
    if (!outcome.converted) {
        if (!aPath.empty()) step.renames.push_back({aName, bName});
        if (!bPath.empty()) step.renames.push_back({bName, aName});
        return Rename(history, std::move(step), std::move(outcome), options);
    }

    // Between modes both takes are coded again beside their new places
    // first, so that a failure leaves both slots as they were.
    std::vector<Staged> staged;
    if (!aPath.empty()) {
        staged.push_back({bName});
        if (Status s = Stage(folder, aPath, *aLong, *bLong, staged.back()); !s) return s;
    }
    if (!bPath.empty()) {
        staged.push_back({aName});
        if (Status s = Stage(folder, bPath, *bLong, *aLong, staged.back()); !s) return s;
    }
    for (const std::string& name : {aName, bName}) {
        auto before = KeepIfPresent(history, name, nullptr);
        if (!before) return before.status();
        step.changes.push_back({name, *before, {}});
    }
    if (Status s = CommitStaged(history, staged); !s) {
        // One slot may be new already: the step lets undo bring it back.
        (void)history.Record(step);
        return s;
    }
    // A slot that was empty gives its take away.
    for (const auto& [path, name] : {std::pair{aPath, aName}, std::pair{bPath, bName}}) {
        if (!path.empty() && staged.size() == 1 && staged.front().name != name) {
            if (unlink(path.c_str()) != 0) {
                const int error = errno;
                (void)history.Record(step);
                return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, ErrnoText(error))
                    .WithPath(path);
            }
        }
    }
    return Finish(history, std::move(step), std::move(outcome), options);
}

Result<OrganizeOutcome> DeleteTakes(TakeHistory& history, const std::vector<TakePlace>& takes,
                                    const OrganizeOptions& options) {
    OrganizeOutcome outcome;
    HistoryStep step;
    step.kind = "delete";
    for (const TakePlace& place : takes) {
        const std::string name = NameOf(place);
        if (Present(history, name).empty()) {
            return Status::Fail(ErrorCode::CannotOpen, kMsgNoSourceTake)
                .WithPath(history.cardFolder() + name);
        }
    }
    for (const TakePlace& place : takes) {
        const std::string name = NameOf(place);
        const std::string path = Present(history, name);
        if (path.empty()) continue;  // named twice
        auto id = history.Keep(name);
        if (!id) {
            if (!step.changes.empty()) (void)history.Record(step);
            return id.status();
        }
        if (unlink(path.c_str()) != 0) {
            const int error = errno;
            // That take is still on the card: its copy is not kept, and only
            // the deletes done before it make a step.
            history.Discard({*id});
            if (!step.changes.empty()) (void)history.Record(step);
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, ErrnoText(error))
                .WithPath(path);
        }
        step.changes.push_back({name, *id, {}});
        outcome.kept.push_back(name);
    }
    SyncFolder(history.cardFolder());
    return Finish(history, std::move(step), std::move(outcome), options);
}

Result<OrganizeOutcome> CopySong(TakeHistory& history, int fileNumber, int newFileNumber,
                                 const OrganizeOptions& options) {
    SongModes modes{ListSongs(history.cardFolder())};
    const SongEntry* song = modes.Find(fileNumber);
    if (song == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoSong);
    const std::string songName = SongFileName(newFileNumber);
    if (modes.Find(newFileNumber) != nullptr || !Present(history, songName).empty()) {
        return Status::Fail(ErrorCode::Exists, kMsgSongExists)
            .WithPath(history.cardFolder() + songName);
    }
    const TakeFiles takes = FindTakeFiles(history.cardFolder(), fileNumber);
    std::vector<Staged> staged;
    for (int i = 0; i < kTracks * kVTakes; ++i) {
        if (takes[static_cast<std::size_t>(i)].empty()) continue;
        const TakeSlot slot = SlotAt(i);
        const std::string name = TakeFileName(newFileNumber, slot.track, slot.vtake);
        if (options.noReplace && !Present(history, name).empty()) return Refused(history, name);
        staged.push_back({name});
        if (Status s = Stage(history.cardFolder(), takes[static_cast<std::size_t>(i)],
                             song->longMode, song->longMode, staged.back());
            !s) {
            return s;
        }
    }
    // The song file last, so that the song shows only once its takes are
    // there.
    staged.push_back({songName});
    if (Status s = Stage(history.cardFolder(), song->path, false, false, staged.back()); !s)
        return s;

    OrganizeOutcome outcome;
    HistoryStep step;
    step.kind = "copy-song";
    for (const Staged& s : staged) {
        auto before = KeepIfPresent(history, s.name, &outcome);
        if (!before) return before.status();
        step.changes.push_back({s.name, *before, {}});
    }
    if (Status s = CommitStaged(history, staged); !s) {
        (void)history.Record(step);
        return s;
    }
    return Finish(history, std::move(step), std::move(outcome), options);
}

Result<OrganizeOutcome> RestoreTake(TakeHistory& history, const std::string& id, TakePlace to,
                                    const OrganizeOptions& options) {
    const KeptFile* kept = history.Find(id);
    if (kept == nullptr) return Status::Fail(ErrorCode::Failed, kMsgNoKeptTake);
    SongModes modes{ListSongs(history.cardFolder())};
    const auto toLong = SongMode(modes, to.fileNumber);
    if (!toLong) return toLong.status();
    const std::string source = history.KeptPath(id);
    auto reader = TakeReader::Open(source);
    if (!reader) return reader.status();
    if (!reader->HasTakeHeader()) {
        return Status::Fail(ErrorCode::NotAudio, kMsgNoKeptTake).WithPath(source);
    }
    // The mode the take was coded in is the first byte of its header.
    std::uint8_t first = 0;
    if (FilePtr in = OpenRegularFile(source); !in || std::fread(&first, 1, 1, in.get()) != 1) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen).WithPath(source);
    }
    const bool fromLong = first == 1;
    const std::string toName = NameOf(to);
    if (options.noReplace && !Present(history, toName).empty()) return Refused(history, toName);

    OrganizeOutcome outcome;
    outcome.converted = fromLong != *toLong;
    outcome.fromLong = fromLong;
    outcome.toLong = *toLong;
    std::vector<Staged> staged;
    staged.push_back({toName});
    if (Status s = Stage(history.cardFolder(), source, fromLong, *toLong, staged.back()); !s)
        return s;
    HistoryStep step;
    step.kind = "restore";
    auto before = KeepIfPresent(history, toName, &outcome);
    if (!before) return before.status();
    step.changes.push_back({toName, *before, {}});
    if (Status s = CommitStaged(history, staged); !s) return s;
    return Finish(history, std::move(step), std::move(outcome), options);
}

}  // namespace trx5
