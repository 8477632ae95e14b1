#include "rescue/rescue_output.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audiofile/audio_file_info.h"
#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"
#include "common/file_io.h"
#include "common/folder.h"
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
    if (Status s = temp.Flush(); !s) return WriteFailure(s, folder + name);
    if (Status s = temp.CommitTo(folder + name); !s) return WriteFailure(s, folder + name);
    return Status::Ok();
}

// Writes a carved take and its WAV file into `folder`: the header's sector,
// then its blocks read again from the source.
// Sectors that could be read while carving but not now are zero-filled and
// counted in `rereadFailures`.
Status WriteTake(SectorReader& reader, const FoundItem& take, const std::string& folder,
                 const std::string& name, const std::string& wavName,
                 std::uint64_t& rereadFailures) {
    const std::string path = folder + name;
    const std::string wavPath = folder + wavName;
    TempFile aud;
    TempFile wav;
    if (Status s = aud.Create(folder, name); !s) return WriteFailure(s, path);
    if (Status s = wav.Create(folder, wavName); !s) return WriteFailure(s, wavPath);

    std::vector<std::uint8_t> buffer(kBatchBlocks * kSectorSize);
    std::vector<std::uint8_t> unreadable(kBatchBlocks);
    rereadFailures += reader.ReadSectors(take.sector, 1, buffer.data(), unreadable.data());
    if (Status s = aud.Write(buffer.data(), kSectorSize); !s) return WriteFailure(s, path);

    const bool longMode = take.longMode;
    const std::uint32_t rate = SampleRate(longMode);
    AudioFileInfo info;
    info.channels = 1;
    info.bitsPerSample = 16;
    info.sampleRate = RateToExtended(rate);
    WavFormat wf;
    wf.channels = 1;
    wf.samplesPerSec = rate;
    wf.avgBytesPerSec = rate * 2;
    wf.blockAlign = 2;
    if (Status s = WriteWavHeader(info, wav.file(), wf); !s) return WriteFailure(s, wavPath);

    std::vector<std::int16_t> samples(kBatchBlocks * SamplesPerBlock(longMode));
    for (const SectorRun& run : take.blocks) {
        for (std::uint64_t done = 0; done < run.count;) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBatchBlocks, run.count - done));
            rereadFailures +=
                reader.ReadSectors(run.first + done, n, buffer.data(), unreadable.data());
            if (Status s = aud.Write(buffer.data(), n * kSectorSize); !s) {
                return WriteFailure(s, path);
            }
            DecodeTakeBlocks(buffer.data(), samples.data(), n, longMode);
            if (Status s = WriteWavSamples(info, samples.data(),
                                           n * SamplesPerBlock(longMode) * sizeof(std::int16_t));
                !s) {
                return WriteFailure(s, wavPath);
            }
            done += n;
        }
    }
    if (Status s = CloseWav(info); !s) return WriteFailure(s, wavPath);
    FreeAudioFileInfo(info);
    if (Status s = aud.Flush(); !s) return WriteFailure(s, path);
    if (Status s = wav.Flush(); !s) return WriteFailure(s, wavPath);
    if (Status s = aud.CommitTo(path); !s) return WriteFailure(s, path);
    if (Status s = wav.CommitTo(wavPath); !s) return WriteFailure(s, wavPath);
    return Status::Ok();
}

const char* EndText(TakeEnd end) {
    switch (end) {
        case TakeEnd::NextHeader:
            return "ends at the next header";
        case TakeEnd::ImplausibleBlock:
            return "ends before a sector that is no take block";
        case TakeEnd::EndOfSource:
            break;
    }
    return "may be cut (the source ends within it)";
}

std::string ReportText(const RescueOutcome& out) {
    std::string text = "Rescue report\n\n";
    char line[512];
    std::snprintf(line, sizeof line,
                  "Sectors read: %" PRIu64 ", unreadable (zero-filled): %" PRIu64 "\n", out.sectors,
                  out.unreadableSectors);
    text += line;
    if (out.rereadFailures != 0) {
        std::snprintf(line, sizeof line,
                      "Sectors of takes unreadable when read again (zero-filled): %" PRIu64 "\n",
                      out.rereadFailures);
        text += line;
    }
    std::snprintf(line, sizeof line, "Machine file: %s\nSong files found: %d\nTakes: %zu\n\n",
                  out.machineFileFound ? "found" : "none found, a new one made", out.songFilesFound,
                  out.takes.size());
    text += line;
    for (const RescuedTake& t : out.takes) {
        const FoundItem& f = t.found;
        std::snprintf(line, sizeof line,
                      "%s%s: found by carving at byte %" PRIu64 ", %" PRIu64 " blocks, %" PRIu64
                      " doubtful, %" PRIu64 " lost to read errors, %s%s\n",
                      kUnplacedFolder, t.name.c_str(), f.sector * kSectorSize, f.blockCount,
                      f.doubtfulBlocks, f.lostBlocks, EndText(f.end),
                      f.doubtful() ? "; doubtful: may be no sound" : "");
        text += line;
    }
    return text;
}

}  // namespace

std::string RescuedTakeName(int number, bool longMode) {
    char name[40];
    std::snprintf(name, sizeof name, "rescued-%04d-%s.aud", number, longMode ? "LONG" : "HiFi");
    return name;
}

Result<RescueOutcome> RescueToFolder(SectorReader& reader, const std::string& dirIn,
                                     const RescueOptions& options) {
    const std::string dir = WithTrailingSlash(dirIn);
    if (Status s = PrepareFolder(dir); !s) return s;
    CarveOutcome carved = Carve(reader);

    RescueOutcome out;
    out.sectors = carved.sectors;
    for (const FoundItem& item : carved.items) {
        if (item.kind == FoundKind::SongFile) ++out.songFilesFound;
        if (item.kind == FoundKind::MachineFile) out.machineFileFound = true;
    }
    // The folder becomes a card folder: a machine file of its own, since
    // the length of a carved one is not known.
    std::vector<std::uint8_t> machine(kSectorSize, 0);
    std::memcpy(machine.data(), kMachineSignature, sizeof kMachineSignature);
    if (Status s = WriteWhole(dir, kMachineFileName, machine); !s) return s;

    const std::string unplaced = dir + kUnplacedFolder;
    bool madeUnplaced = false;
    for (const FoundItem& item : carved.items) {
        if (item.kind != FoundKind::Take || item.blockCount == 0) continue;
        if (!madeUnplaced) {
            if (::mkdir(unplaced.c_str(), 0777) != 0)
                return FolderFailure(unplaced, ErrnoText(errno));
            madeUnplaced = true;
        }
        RescuedTake t{RescuedTakeName(int(out.takes.size()) + 1, item.longMode), item};
        std::string wavName = t.name.substr(0, t.name.size() - 4) + ".wav";
        if (Status s = WriteTake(reader, item, unplaced, t.name, wavName, out.rereadFailures); !s)
            return s;
        out.takes.push_back(std::move(t));
    }
    out.unreadableSectors = carved.unreadableSectors;
    out.reportPath = options.reportPath.empty() ? dir + kRescueReportName : options.reportPath;
    const std::string report = ReportText(out);
    const auto slash = out.reportPath.rfind('/');
    const std::string reportFolder =
        slash == std::string::npos ? std::string("./") : out.reportPath.substr(0, slash + 1);
    const std::string reportName =
        slash == std::string::npos ? out.reportPath : out.reportPath.substr(slash + 1);
    if (Status s = WriteWhole(reportFolder, reportName,
                              std::vector<std::uint8_t>(report.begin(), report.end()));
        !s) {
        return s;
    }
    return out;
}

}  // namespace trx5
