#include "rescue/rescue_output.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "audiofile/audio_file_info.h"
#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "common/file_io.h"
#include "common/folder.h"
#include "rescue/fs_files.h"
#include "rescue/rescue_messages.h"

namespace trx5 {

namespace {

// Blocks read and written at a time.
constexpr std::size_t kBatchBlocks = 2048;

Status FolderFailure(const std::string& dir, std::string reason) {
    return Status::Fail(ErrorCode::CannotCreate, kMsgRescueFolder, std::move(reason)).WithPath(dir);
}

// Makes `dir` (ending with "/") when absent; an existing one must be an
// empty folder.
Status PrepareFolder(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0777) == 0) return Status::Ok();
    if (errno != EEXIST) return FolderFailure(dir, ErrnoText(errno));
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return FolderFailure(dir, ErrnoText(errno));
    bool empty = true;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    if (!empty) {
        return Status::Fail(ErrorCode::Exists, kMsgRescueFolder, kReasonFolderNotEmpty)
            .WithPath(dir);
    }
    return Status::Ok();
}

Status WriteFailure(const Status& s, const std::string& path) {
    return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWriteRescue, s.reason()).WithPath(path);
}

// Writes `bytes` to folder + name through a temporary file.
Status WriteWhole(const std::string& folder, const std::string& name,
                  const std::vector<std::uint8_t>& bytes) {
    TempFile temp;
    if (Status s = temp.Create(folder, name); !s) return WriteFailure(s, folder + name);
    if (Status s = temp.Write(bytes.data(), bytes.size()); !s)
        return WriteFailure(s, folder + name);
    if (Status s = temp.FlushToSystem(); !s) return WriteFailure(s, folder + name);
    if (Status s = temp.CommitTo(folder + name); !s) return WriteFailure(s, folder + name);
    return Status::Ok();
}

const std::uint64_t kPhaseFiles = kRescueProgressTotal * 5 / 100;
const std::uint64_t kPhaseCarve = kRescueProgressTotal * 70 / 100;

// A progress over part of the whole: [from, from + span) of
// kRescueProgressTotal.
class PartProgress final : public Progress {
  public:
    PartProgress(Progress* whole, std::uint64_t from, std::uint64_t span)
        : whole_(whole), from_(from), span_(span) {}
    bool Step(std::uint64_t done, std::uint64_t total) override {
        if (whole_ == nullptr) return true;
        const std::uint64_t part =
            total == 0 ? 0
                       : static_cast<std::uint64_t>(double(done) / double(total) * double(span_));
        return whole_->Step(from_ + std::min(part, span_), kRescueProgressTotal);
    }

  private:
    Progress* whole_;
    std::uint64_t from_;
    std::uint64_t span_;
};

std::uint64_t CountSectors(const std::vector<SectorRun>& runs) {
    std::uint64_t n = 0;
    for (const SectorRun& r : runs) n += r.count;
    return n;
}

// The first `count` sectors of `runs`.
std::vector<SectorRun> FirstSectors(const std::vector<SectorRun>& runs, std::uint64_t count) {
    std::vector<SectorRun> out;
    for (const SectorRun& r : runs) {
        if (count == 0) break;
        const std::uint64_t n = std::min(r.count, count);
        out.push_back({r.first, n});
        count -= n;
    }
    return out;
}

// `runs` without the first `count` sectors.
std::vector<SectorRun> DropSectors(const std::vector<SectorRun>& runs, std::uint64_t count) {
    std::vector<SectorRun> out;
    for (const SectorRun& r : runs) {
        if (count >= r.count) {
            count -= r.count;
            continue;
        }
        out.push_back({r.first + count, r.count - count});
        count = 0;
    }
    return out;
}

// The sectors of `runs` that lie within the source.
std::vector<SectorRun> WithinSource(const std::vector<SectorRun>& runs, std::uint64_t sectors) {
    std::vector<SectorRun> out;
    for (const SectorRun& r : runs) {
        if (r.first >= sectors) break;
        const std::uint64_t n = std::min(r.count, sectors - r.first);
        out.push_back({r.first, n});
        if (n < r.count) break;
    }
    return out;
}

// What a card file's name says it is.
struct CardName {
    FoundKind kind = FoundKind::Take;
    int song = -1;  // the NN of a song file or a take
};

std::optional<CardName> ParseCardName(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "SONGNO.TX5") return CardName{FoundKind::MachineFile, -1};
    if (const auto nn = SongFileNumber(name)) return CardName{FoundKind::SongFile, *nn};
    if (upper.size() == 9 && std::isdigit(static_cast<unsigned char>(upper[0])) &&
        std::isdigit(static_cast<unsigned char>(upper[1]))) {
        const int nn = (upper[0] - '0') * 10 + (upper[1] - '0');
        if (ParseTakeFileName(name, nn)) return CardName{FoundKind::Take, nn};
    }
    return std::nullopt;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string SongFileName(int nn) {
    char name[16];
    std::snprintf(name, sizeof name, "UtyPrm%02d.tx5", nn);
    return name;
}

const char* ByText(FoundBy by) {
    switch (by) {
        case FoundBy::Live:
            return "live file";
        case FoundBy::Deleted:
            return "deleted entry";
        case FoundBy::Carved:
            break;
    }
    return "carved";
}

// The length of a take as written: its header and blocks, or the length of
// a file that ends within its last block.
std::uint64_t TakeBytes(const FoundItem& take) {
    const std::uint64_t whole = (take.blockCount + 1) * kSectorSize;
    return take.fileBytes != 0 && take.lostBlocks == 0 ? std::min(whole, take.fileBytes) : whole;
}

// " _0-01.aud": the directory entry's name, where it differs from the name
// the file was written under.
std::string EntryText(const std::string& name, const std::string& entryName) {
    if (entryName.empty() || entryName == name) return {};
    return " " + entryName;
}

const char* EndText(TakeEnd end) {
    switch (end) {
        case TakeEnd::NextHeader:
            return "ends at the next header";
        case TakeEnd::ImplausibleBlock:
            return "ends before a sector that is no take block";
        case TakeEnd::Seam:
            return "ends where the sound jumps: the blocks after it are kept apart";
        case TakeEnd::KnownFile:
            return "ends where a file of the file system begins";
        case TakeEnd::EndOfSource:
            break;
    }
    return "incomplete: the source ends within it";
}

// The source as the rescue reads it: every read goes through here, so that
// a sector that cannot be read is counted once however often it is tried.
class CountingReader final : public SectorReader {
  public:
    explicit CountingReader(SectorReader& inner) : inner_(inner) {}
    std::uint64_t size() const override { return inner_.size(); }
    std::size_t ReadSectors(std::uint64_t first, std::size_t count, std::uint8_t* out,
                            std::uint8_t* unreadable) override {
        const std::size_t bad = inner_.ReadSectors(first, count, out, unreadable);
        for (std::size_t i = 0; bad != 0 && i < count; ++i) {
            if (unreadable[i]) unreadable_.insert(first + i);
        }
        return bad;
    }
    std::uint64_t unreadableSectors() const { return unreadable_.size(); }

  private:
    SectorReader& inner_;
    std::set<std::uint64_t> unreadable_;
};

// One rescue: what was found, then written.
class Rescue {
  public:
    Rescue(SectorReader& reader, std::string dir, std::string reportPath,
           const RescueOptions& options)
        : reader_(reader), dir_(std::move(dir)), options_(options) {
        out_.reportPath = std::move(reportPath);
    }

    Result<RescueOutcome> Run();

  private:
    // A card file the file system lists.
    struct Listed {
        FsFile file;
        CardName what;
        bool accepted = false;
        bool damaged = false;     // a machine or song file whose signature is not right
        bool headerMade = false;  // a take whose header could not be used
        bool longMode = false;
        std::uint64_t doubtful = 0;
        std::uint64_t blocks = 0;
    };

    void ListFiles();
    void CheckDeleted(Listed& l);
    bool SongMode(int song, bool& longMode) const;
    bool Cancelled(Progress& p, std::uint64_t done, std::uint64_t total);
    Status WriteTakeFile(const std::string& folder, const std::string& name, bool withWav,
                         FoundItem& take);
    Status WriteRuns(const std::string& folder, const std::string& name,
                     const std::vector<SectorRun>& runs, std::uint64_t bytes);
    Status MakeUnplaced();
    std::string ReportText() const;
    Status WriteReport();

    CountingReader reader_;
    std::string dir_;
    const RescueOptions& options_;
    RescueOutcome out_;
    std::vector<Listed> listed_;
    std::map<std::string, bool> taken_;  // lower-case names used in the folder
    bool madeUnplaced_ = false;
    std::uint64_t writeDone_ = 0;
    std::uint64_t writeTotal_ = 0;
    std::unique_ptr<PartProgress> writeProgress_;
    // Buffers of kBatchBlocks sectors, made once for all files.
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kBatchBlocks * kSectorSize);
    std::vector<std::uint8_t> unreadable_ = std::vector<std::uint8_t>(kBatchBlocks);
    std::vector<std::uint8_t> good_ = std::vector<std::uint8_t>(kBatchBlocks * kSectorSize);
    std::vector<std::int16_t> samples_ =
        std::vector<std::int16_t>(kBatchBlocks * kMaxSamplesPerBlock);
};

bool Rescue::Cancelled(Progress& p, std::uint64_t done, std::uint64_t total) {
    if (out_.cancelled) return true;
    if (!p.Step(done, total)) out_.cancelled = true;
    return out_.cancelled;
}

void Rescue::ListFiles() {
    FsListing fs = ListFileSystem(reader_);
    if (!fs.found) return;
    out_.fileSystem = fs.type + " at byte " + std::to_string(fs.offset);
    // Song numbers first, so that a deleted take's lost first digit can be
    // told from them.
    std::vector<int> songs;
    for (const FsFile& f : fs.files) {
        const std::string name = f.deleted ? RestoreDeletedName(f.entryName, {}) : f.entryName;
        if (const auto nn = SongFileNumber(name)) songs.push_back(*nn);
    }
    for (FsFile& f : fs.files) {
        if (f.deleted) f.name = RestoreDeletedName(f.entryName, songs);
        const auto what = ParseCardName(f.name);
        if (!what) continue;
        Listed l;
        l.file = std::move(f);
        l.what = *what;
        listed_.push_back(std::move(l));
    }
}

bool Rescue::SongMode(int song, bool& longMode) const {
    for (const Listed& l : listed_) {
        if (l.accepted && !l.damaged && l.what.kind == FoundKind::SongFile && l.what.song == song) {
            longMode = l.longMode;
            return true;
        }
    }
    return false;
}

// A deleted entry is kept when what its first cluster and the ones after it
// hold is what its name says: the signature, and for a take, take blocks
// throughout.
void Rescue::CheckDeleted(Listed& l) {
    const std::vector<SectorRun> runs = WithinSource(l.file.sectors, reader_.SectorCount());
    if (runs.empty()) return;
    std::vector<std::uint8_t>& buffer = buffer_;
    std::vector<std::uint8_t>& unreadable = unreadable_;
    reader_.ReadSectors(runs.front().first, 1, buffer.data(), unreadable.data());
    if (unreadable[0]) return;
    if (l.what.kind != FoundKind::Take) {
        const char* signature =
            l.what.kind == FoundKind::SongFile ? kSongSignature : kMachineSignature;
        if (std::memcmp(buffer.data(), signature, std::strlen(signature) + 1) != 0) return;
        if (l.what.kind == FoundKind::SongFile) {
            l.longMode = l.file.size < kSongModeOffset + 4 ||
                         (buffer[kSongModeOffset] | buffer[kSongModeOffset + 1] |
                          buffer[kSongModeOffset + 2] | buffer[kSongModeOffset + 3]) != 0;
        }
        l.accepted = true;
        return;
    }
    if (!HasTakeSignature(buffer.data())) return;
    bool longMode = buffer[0] != 0;
    const bool known = SongMode(l.what.song, longMode);
    // Whole blocks only: a length that ends within the last one leaves the
    // rest of its sector to whatever was there.
    const std::vector<SectorRun> blocks =
        DropSectors(FirstSectors(runs, l.file.size / kSectorSize), 1);
    std::uint64_t checked = 0;
    for (const SectorRun& r : blocks) {
        for (std::uint64_t done = 0; done < r.count;) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBatchBlocks, r.count - done));
            reader_.ReadSectors(r.first + done, n, buffer.data(), unreadable.data());
            for (std::size_t i = 0; i < n; ++i) {
                if (unreadable[i]) continue;
                const std::uint8_t* block = buffer.data() + i * kSectorSize;
                if (checked == 0 && !known) longMode = LooksLong(block);
                const BlockVerdict v = CheckTakeBlock(block, longMode);
                if (v == BlockVerdict::Implausible) return;
                if (v == BlockVerdict::Doubtful) ++l.doubtful;
                ++checked;
            }
            done += n;
        }
    }
    l.blocks = checked;
    l.longMode = longMode;
    l.accepted = true;
}

Status Rescue::MakeUnplaced() {
    if (madeUnplaced_) return Status::Ok();
    const std::string unplaced = dir_ + kUnplacedFolder;
    if (::mkdir(unplaced.c_str(), 0777) != 0) return FolderFailure(unplaced, ErrnoText(errno));
    madeUnplaced_ = true;
    return Status::Ok();
}

// Writes the bytes of `runs` (the first `bytes` of them) to folder + name.
Status Rescue::WriteRuns(const std::string& folder, const std::string& name,
                         const std::vector<SectorRun>& runs, std::uint64_t bytes) {
    const std::string path = folder + name;
    TempFile file;
    if (Status s = file.Create(folder, name); !s) return WriteFailure(s, path);
    std::vector<std::uint8_t>& buffer = buffer_;
    std::vector<std::uint8_t>& unreadable = unreadable_;
    for (const SectorRun& r : runs) {
        for (std::uint64_t done = 0; done < r.count && bytes > 0;) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBatchBlocks, r.count - done));
            reader_.ReadSectors(r.first + done, n, buffer.data(), unreadable.data());
            const std::size_t length = std::size_t(std::min<std::uint64_t>(n * kSectorSize, bytes));
            if (Status s = file.Write(buffer.data(), length); !s) return WriteFailure(s, path);
            bytes -= length;
            done += n;
        }
    }
    if (Status s = file.FlushToSystem(); !s) return WriteFailure(s, path);
    if (Status s = file.CommitTo(path); !s) return WriteFailure(s, path);
    return Status::Ok();
}

// Writes a take: its header's sector, then its blocks read again from the
// source, leaving out those that cannot be read now (counted as lost); with
// a WAV file of its sound beside it when asked. The blocks written are
// checked again for the report.
Status Rescue::WriteTakeFile(const std::string& folder, const std::string& name, bool withWav,
                             FoundItem& take) {
    const std::string path = folder + name;
    const std::string wavName = name.substr(0, name.size() - 4) + ".wav";
    const std::string wavPath = folder + wavName;
    TempFile aud;
    TempFile wav;
    if (Status s = aud.Create(folder, name); !s) return WriteFailure(s, path);
    if (withWav) {
        if (Status s = wav.Create(folder, wavName); !s) return WriteFailure(s, wavPath);
    }
    std::vector<std::uint8_t>& buffer = buffer_;
    std::vector<std::uint8_t>& unreadable = unreadable_;
    if (take.headerless || take.headerMade) {
        // Blocks no header starts, or whose header is lost, get one, so
        // that they can be played.
        const TakeHeader header = MakeTakeHeader(take.longMode);
        std::memcpy(buffer.data(), header.data(), kSectorSize);
    } else {
        reader_.ReadSectors(take.sector, 1, buffer.data(), unreadable.data());
    }
    if (Status s = aud.Write(buffer.data(), kSectorSize); !s) return WriteFailure(s, path);

    const bool longMode = take.longMode;
    const std::uint32_t rate = SampleRate(longMode);
    AudioFileInfo info;
    if (withWav) {
        info.channels = 1;
        info.bitsPerSample = 16;
        info.sampleRate = RateToExtended(rate);
        WavFormat wf;
        wf.channels = 1;
        wf.samplesPerSec = rate;
        wf.avgBytesPerSec = rate * 2;
        wf.blockAlign = 2;
        if (Status s = WriteWavHeader(info, wav.file(), wf); !s) return WriteFailure(s, wavPath);
    }
    std::vector<std::int16_t>& samples = samples_;
    std::vector<std::uint8_t>& good = good_;
    take.blockCount = 0;
    take.doubtfulBlocks = 0;
    for (const SectorRun& run : take.blocks) {
        for (std::uint64_t done = 0; done < run.count;) {
            if (Cancelled(*writeProgress_, writeDone_, writeTotal_)) return Status::Ok();
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBatchBlocks, run.count - done));
            const std::size_t bad =
                reader_.ReadSectors(run.first + done, n, buffer.data(), unreadable.data());
            take.lostBlocks += bad;
            std::size_t kept = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (unreadable[i]) continue;
                const std::uint8_t* block = buffer.data() + i * kSectorSize;
                // The last block, when the file's length ends within it, is
                // not judged: the rest of its sector is not the take's.
                const bool cut = take.fileBytes % kSectorSize != 0 &&
                                 (take.blockCount + kept + 2) * kSectorSize > take.fileBytes;
                if (!cut && CheckTakeBlock(block, longMode) != BlockVerdict::Plausible) {
                    ++take.doubtfulBlocks;
                }
                std::memcpy(good.data() + kept * kSectorSize, block, kSectorSize);
                ++kept;
            }
            take.blockCount += kept;
            if (Status s = aud.Write(good.data(), kept * kSectorSize); !s) {
                return WriteFailure(s, path);
            }
            if (withWav) {
                DecodeTakeBlocks(good.data(), samples.data(), kept, longMode);
                if (Status s =
                        WriteWavSamples(info, samples.data(),
                                        kept * SamplesPerBlock(longMode) * sizeof(std::int16_t));
                    !s) {
                    return WriteFailure(s, wavPath);
                }
            }
            done += n;
            writeDone_ += n;
        }
    }
    if (withWav) {
        if (Status s = CloseWav(info); !s) return WriteFailure(s, wavPath);
        FreeAudioFileInfo(info);
    }
    if (out_.cancelled) return Status::Ok();
    if (Status s = aud.FlushToSystem(); !s) return WriteFailure(s, path);
    // A file whose length ends within its last block ends there again.
    if (TakeBytes(take) < (take.blockCount + 1) * kSectorSize &&
        ::ftruncate(fileno(aud.file()), off_t(take.fileBytes)) != 0) {
        return WriteFailure(Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(errno)), path);
    }
    if (withWav) {
        if (Status s = wav.FlushToSystem(); !s) return WriteFailure(s, wavPath);
    }
    if (Status s = aud.CommitTo(path); !s) return WriteFailure(s, path);
    if (withWav) {
        if (Status s = wav.CommitTo(wavPath); !s) return WriteFailure(s, wavPath);
    }
    return Status::Ok();
}

Result<RescueOutcome> Rescue::Run() {
    NoProgress none;
    Progress& whole = options_.progress ? *options_.progress : static_cast<Progress&>(none);
    PartProgress filesPart(&whole, 0, kPhaseFiles);
    PartProgress carvePart(&whole, kPhaseFiles, kPhaseCarve);
    writeProgress_ = std::make_unique<PartProgress>(
        &whole, kPhaseFiles + kPhaseCarve, kRescueProgressTotal - kPhaseFiles - kPhaseCarve);
    const std::uint64_t sectorCount = reader_.SectorCount();
    // A take's blocks are whole sectors: a last sector cut short is none.
    const std::uint64_t wholeSectors = reader_.size() / kSectorSize;
    out_.sectors = sectorCount;

    // 1. The file system: live files as they stand, deleted entries when
    // their clusters still hold what their names say.
    if (!options_.carveOnly) ListFiles();
    // Song files before takes, whose mode they give.
    std::stable_sort(listed_.begin(), listed_.end(), [](const Listed& a, const Listed& b) {
        return (a.what.kind == FoundKind::Take) < (b.what.kind == FoundKind::Take);
    });
    for (std::size_t i = 0; i < listed_.size(); ++i) {
        if (Cancelled(filesPart, i, listed_.size())) break;
        Listed& l = listed_[i];
        if (l.file.deleted) {
            CheckDeleted(l);
            continue;
        }
        // A live file is what its folder says, as long as its clusters
        // cover its length (a zeroed table leaves them short).
        if (l.file.sectors.empty() || CountSectors(l.file.sectors) * kSectorSize < l.file.size) {
            continue;
        }
        std::vector<std::uint8_t> first(kSectorSize);
        std::uint8_t unreadable = 0;
        reader_.ReadSectors(l.file.firstSector(), 1, first.data(), &unreadable);
        if (l.what.kind == FoundKind::Take) {
            if (unreadable != 0 || !HasTakeSignature(first.data())) {
                // The header is lost or damaged: the file is still the take
                // its folder names when its first block is a take block. It
                // gets a header of its own.
                std::vector<std::uint8_t> block(kSectorSize);
                std::uint8_t blockUnreadable = 0;
                const std::vector<SectorRun> blocks = DropSectors(l.file.sectors, 1);
                if (blocks.empty()) continue;
                reader_.ReadSectors(blocks.front().first, 1, block.data(), &blockUnreadable);
                l.longMode = LooksLong(block.data());
                if (blockUnreadable != 0 ||
                    CheckTakeBlock(block.data(), l.longMode) == BlockVerdict::Implausible) {
                    continue;
                }
                l.headerMade = true;
            } else {
                l.longMode = first[0] != 0;
            }
            SongMode(l.what.song, l.longMode);
        } else {
            // A machine or song file whose signature is damaged would keep
            // the folder from being a card: it is kept apart.
            const char* signature =
                l.what.kind == FoundKind::SongFile ? kSongSignature : kMachineSignature;
            const std::size_t length = std::strlen(signature);
            l.damaged = unreadable != 0 || l.file.size < length ||
                        std::memcmp(first.data(), signature, length) != 0 ||
                        (l.file.size > length && first[length] != 0);
            l.longMode = l.file.size < kSongModeOffset + 4 ||
                         (first[kSongModeOffset] | first[kSongModeOffset + 1] |
                          first[kSongModeOffset + 2] | first[kSongModeOffset + 3]) != 0;
        }
        l.accepted = true;
    }
    // Of two files of one name, the live one is kept by it; the other is
    // written under unplaced/.
    std::vector<SectorRun> known;
    for (const Listed& l : listed_) {
        if (!l.accepted) continue;
        for (const SectorRun& r : l.file.sectors) known.push_back(r);
    }
    std::sort(known.begin(), known.end(),
              [](const SectorRun& a, const SectorRun& b) { return a.first < b.first; });
    std::vector<SectorRun> merged;
    for (const SectorRun& r : known) {
        if (!merged.empty() && r.first <= merged.back().first + merged.back().count) {
            merged.back().count =
                std::max(merged.back().count, r.first + r.count - merged.back().first);
        } else {
            merged.push_back(r);
        }
    }

    // 2. Carving over the rest.
    CarveOptions carveOptions;
    carveOptions.known = &merged;
    carveOptions.progress = &carvePart;
    CarveOutcome carved;
    if (!out_.cancelled) {
        carved = Carve(reader_, carveOptions);
        if (carved.cancelled) out_.cancelled = true;
    }

    // 3. Writing. Files named by the file system first, live before deleted.
    std::stable_sort(listed_.begin(), listed_.end(), [](const Listed& a, const Listed& b) {
        return !a.file.deleted && b.file.deleted;
    });
    for (const Listed& l : listed_) {
        if (l.accepted) writeTotal_ += CountSectors(WithinSource(l.file.sectors, sectorCount));
    }
    for (const FoundItem& item : carved.items) writeTotal_ += CountSectors(item.blocks);

    int unplacedTakes = 0;
    int unplacedSongs = 0;
    int fragments = 0;
    std::vector<std::pair<int, bool>> namedSongs;  // song, mode of its takes
    for (Listed& l : listed_) {
        if (!l.accepted || out_.cancelled) continue;
        const bool free = !l.damaged && !taken_.count(Lower(l.file.name));
        if (l.what.kind == FoundKind::MachineFile && free) out_.machineFileFound = true;
        const std::vector<SectorRun> runs = WithinSource(
            l.file.sectors, l.what.kind == FoundKind::Take ? wholeSectors : sectorCount);
        if (l.what.kind != FoundKind::Take) {
            std::string name = l.file.name;
            std::string folder = dir_;
            if (!free) {
                if (Status s = MakeUnplaced(); !s) return s;
                char buf[48];
                std::snprintf(buf, sizeof buf, "rescued-%s-%04d.tx5",
                              l.what.kind == FoundKind::SongFile ? "song" : "machine",
                              ++unplacedSongs);
                name = buf;
                folder = dir_ + kUnplacedFolder;
            }
            if (Status s = WriteRuns(folder, name, runs, l.file.size); !s) return s;
            writeDone_ += CountSectors(runs);
            taken_[Lower(folder == dir_ ? name : kUnplacedFolder + name)] = true;
            if (l.what.kind == FoundKind::SongFile && !l.damaged) ++out_.songFilesFound;
            RescuedInfoFile f;
            f.name = folder == dir_ ? name : kUnplacedFolder + name;
            f.by = l.file.deleted ? FoundBy::Deleted : FoundBy::Live;
            f.entryName = l.file.entryName;
            f.offset = l.file.firstSector() * kSectorSize;
            f.bytes = l.file.size;
            f.damaged = l.damaged;
            out_.infoFiles.push_back(std::move(f));
            continue;
        }
        // A take: its header and whole blocks, up to where the source ends.
        const std::uint64_t wanted = (l.file.size + kSectorSize - 1) / kSectorSize;
        const std::vector<SectorRun> takeRuns = FirstSectors(runs, wanted);
        RescuedTake t;
        t.by = l.file.deleted ? FoundBy::Deleted : FoundBy::Live;
        t.entryName = l.file.entryName;
        t.found.kind = FoundKind::Take;
        t.found.sector = l.file.firstSector();
        t.found.longMode = l.longMode;
        t.found.blocks = DropSectors(takeRuns, 1);
        t.found.end = CountSectors(takeRuns) < wanted ? TakeEnd::EndOfSource : TakeEnd::NextHeader;
        t.found.headerMade = l.headerMade;
        t.found.fileBytes = l.file.size;
        if (free) {
            t.name = l.file.name;
            if (Status s = WriteTakeFile(dir_, t.name, false, t.found); !s) return s;
            namedSongs.push_back({l.what.song, l.longMode});
        } else {
            if (Status s = MakeUnplaced(); !s) return s;
            t.name = RescuedTakeName(++unplacedTakes, l.longMode);
            if (Status s = WriteTakeFile(dir_ + kUnplacedFolder, t.name, true, t.found); !s)
                return s;
            t.name = kUnplacedFolder + t.name;
        }
        taken_[Lower(t.name)] = true;
        if (!out_.cancelled) out_.takes.push_back(std::move(t));
    }

    // Carved files: named when a directory entry starts at their sector.
    for (const FoundItem& item : carved.items) {
        if (out_.cancelled) break;
        const Listed* hint = nullptr;
        for (const Listed& l : listed_) {
            if (!l.accepted && !l.file.sectors.empty() && l.file.firstSector() == item.sector &&
                l.what.kind == item.kind) {
                hint = &l;
            }
        }
        const bool named =
            hint != nullptr && !item.headerless && !taken_.count(Lower(hint->file.name));
        if (item.kind == FoundKind::MachineFile) continue;  // a new one is made below
        if (item.kind == FoundKind::SongFile) {
            std::string name;
            std::string folder = dir_;
            if (named) {
                name = hint->file.name;
            } else {
                if (Status s = MakeUnplaced(); !s) return s;
                char buf[48];
                std::snprintf(buf, sizeof buf, "rescued-song-%04d.tx5", ++unplacedSongs);
                name = buf;
                folder = dir_ + kUnplacedFolder;
            }
            // The length of a carved song file is not known: its first sector
            // holds the signature and the mode.
            if (Status s = WriteRuns(folder, name, {{item.sector, 1}}, kSectorSize); !s) return s;
            const std::string rel = folder == dir_ ? name : kUnplacedFolder + name;
            taken_[Lower(rel)] = true;
            ++out_.songFilesFound;
            out_.infoFiles.push_back({rel, FoundBy::Carved, named ? hint->file.entryName : "",
                                      item.sector * kSectorSize, kSectorSize});
            continue;
        }
        if (item.blockCount == 0) continue;
        RescuedTake t;
        t.by = FoundBy::Carved;
        t.found = item;
        if (named) {
            t.entryName = hint->file.entryName;
            t.name = hint->file.name;
            bool longMode = t.found.longMode;
            if (SongMode(hint->what.song, longMode)) t.found.longMode = longMode;
            if (Status s = WriteTakeFile(dir_, t.name, false, t.found); !s) return s;
            namedSongs.push_back({hint->what.song, t.found.longMode});
        } else {
            if (Status s = MakeUnplaced(); !s) return s;
            t.name = item.headerless ? RescuedFragmentName(++fragments, item.longMode)
                                     : RescuedTakeName(++unplacedTakes, item.longMode);
            if (Status s = WriteTakeFile(dir_ + kUnplacedFolder, t.name, true, t.found); !s)
                return s;
            t.name = kUnplacedFolder + t.name;
        }
        taken_[Lower(t.name)] = true;
        if (!out_.cancelled) out_.takes.push_back(std::move(t));
    }

    // The folder becomes a card folder: a machine file of its own when none
    // was found, and a song file for named takes whose own is gone.
    if (!out_.machineFileFound) {
        std::vector<std::uint8_t> machine(kSectorSize, 0);
        std::memcpy(machine.data(), kMachineSignature, sizeof kMachineSignature);
        if (Status s = WriteWhole(dir_, kMachineFileName, machine); !s) return s;
    }
    for (const auto& [song, longMode] : namedSongs) {
        if (out_.cancelled) break;
        bool found = false;
        for (const auto& [name, used] : taken_) {
            if (SongFileNumber(name) == song && name.find('/') == std::string::npos) found = true;
        }
        if (found) continue;
        std::vector<std::uint8_t> bytes(kSectorSize, 0);
        std::memcpy(bytes.data(), kSongSignature, sizeof kSongSignature);
        bytes[kSongModeOffset] = longMode ? 1 : 0;
        const std::string name = SongFileName(song);
        if (Status s = WriteWhole(dir_, name, bytes); !s) return s;
        taken_[Lower(name)] = true;
        out_.songFilesMade.push_back(name);
    }
    out_.unreadableSectors = reader_.unreadableSectors();
    if (Status s = WriteReport(); !s) return s;
    // The files were handed to the system one by one; they are on the
    // device before the rescue says they are written.
    if (Status s = SyncFileSystem(dir_); !s) {
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWriteRescue, s.reason())
            .WithPath(dir_);
    }
    return std::move(out_);
}

std::string Rescue::ReportText() const {
    std::string text = "Rescue report\n\n";
    char line[768];
    text += "File system: " +
            (options_.carveOnly        ? std::string("not looked for (carving only)")
             : out_.fileSystem.empty() ? std::string("none found")
                                       : out_.fileSystem) +
            "\n";
    std::snprintf(line, sizeof line, "Machine file: %s\nSong files: %d found",
                  out_.machineFileFound ? "found" : "none found, a new one made",
                  out_.songFilesFound);
    text += line;
    if (!out_.songFilesMade.empty()) {
        text += ", made for takes whose own was not found:";
        for (const std::string& n : out_.songFilesMade) text += " " + n;
    }
    std::snprintf(line, sizeof line, "\nTakes: %zu\n\n", out_.takes.size());
    text += line;
    for (const RescuedInfoFile& f : out_.infoFiles) {
        std::snprintf(line, sizeof line, "%s: %s%s at byte %" PRIu64 ", %" PRIu64 " bytes%s\n",
                      f.name.c_str(), ByText(f.by), EntryText(f.name, f.entryName).c_str(),
                      f.offset, f.bytes,
                      f.damaged ? "; its signature is damaged, so it is kept apart" : "");
        text += line;
    }
    for (const RescuedTake& t : out_.takes) {
        const FoundItem& f = t.found;
        std::snprintf(line, sizeof line,
                      "%s: %s%s at byte %" PRIu64 ", %" PRIu64 " bytes, %s, %" PRIu64
                      " blocks checked, %" PRIu64 " doubtful",
                      t.name.c_str(),
                      f.headerless ? "carved blocks that no header starts, not joined to any take;"
                      : t.by == FoundBy::Carved && !t.entryName.empty()
                          ? "carved where its directory entry points,"
                          : ByText(t.by),
                      EntryText(t.name, t.entryName).c_str(), f.sector * kSectorSize, TakeBytes(f),
                      f.longMode ? "LONG" : "HiFi", f.blockCount, f.doubtfulBlocks);
        text += line;
        if (f.lostBlocks != 0) {
            std::snprintf(line, sizeof line, ", %" PRIu64 " lost to read errors (left out)",
                          f.lostBlocks);
            text += line;
        }
        if (!f.complete()) {
            text += "; ";
            text += EndText(f.end);
        } else if (t.by == FoundBy::Carved) {
            text += "; ";
            text += EndText(f.end);
        }
        if (f.headerMade) text += "; its header could not be read or was damaged: a new one made";
        if (f.doubtful()) text += "; doubtful: may be no sound";
        text += "\n";
    }
    if (out_.cancelled) text += "\nCancelled: the files above were written, the rest not.\n";
    std::snprintf(line, sizeof line, "\nUnreadable sectors: %" PRIu64 "\n", out_.unreadableSectors);
    text += line;
    return text;
}

Status Rescue::WriteReport() {
    out_.report = ReportText();
    const std::string& path = out_.reportPath;
    const auto slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return WriteWhole(folder, name,
                      std::vector<std::uint8_t>(out_.report.begin(), out_.report.end()));
}

}  // namespace

std::string RescuedTakeName(int number, bool longMode) {
    char name[40];
    std::snprintf(name, sizeof name, "rescued-%04d-%s.aud", number, longMode ? "LONG" : "HiFi");
    return name;
}

std::string RescuedFragmentName(int number, bool longMode) {
    char name[40];
    std::snprintf(name, sizeof name, "fragment-%04d-%s.aud", number, longMode ? "LONG" : "HiFi");
    return name;
}

Result<RescueOutcome> RescueToFolder(SectorReader& reader, const std::string& dirIn,
                                     const RescueOptions& options) {
    const std::string dir = WithTrailingSlash(dirIn);
    const std::string reportPath =
        options.reportPath.empty() ? dir + kRescueReportName : options.reportPath;
    if (!options.reportPath.empty()) {
        struct stat st {};
        if (::lstat(reportPath.c_str(), &st) == 0) {
            return Status::Fail(ErrorCode::Exists, kMsgCannotWriteRescue, kReasonReportExists)
                .WithPath(reportPath);
        }
    }
    if (Status s = PrepareFolder(dir); !s) return s;
    Rescue rescue(reader, dir, reportPath, options);
    return rescue.Run();
}

}  // namespace trx5
