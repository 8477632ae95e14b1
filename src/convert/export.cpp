#include "convert/export.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "card/take_file.h"
#include "card/take_reader.h"
#include "codec/take_codec.h"
#include "codec/track_mix.h"
#include "common/file_io.h"
#include "common/folder.h"
#include "convert/convert_messages.h"

namespace trx5 {

namespace {

static_assert(std::endian::native == std::endian::little,
              "WAV samples are written straight from memory");

// Blocks read, decoded and written per step of the loop; memory stays a few
// dozen kilobytes whatever the length of the takes.
constexpr std::size_t kBatchBlocks = 32;

struct TrackInput {
    TakeReader take;
    std::int16_t* samples = nullptr;  // decoded batch
    std::size_t blocksInBatch = 0;    // blocks of the batch that hold data
    int level = kUnityLevel;
    int pan = kCentrePan;
};

std::string Extension(const std::string& fileName) {
    return std::filesystem::path(fileName).filename().extension().string();
}

// The output file. A regular file (or a new name) is written under an
// exclusive temporary name beside it and renamed over it only when complete,
// so a failure leaves a file that was there as it was. A device or FIFO
// named as the output is written directly (and never removed).
class OutputFile {
  public:
    OutputFile(const std::string& path, ExportFormat format) : path_(path), format_(format) {}
    ~OutputFile() {
        if (flac_ != nullptr) sf_close(flac_);
    }

    Status Create() {
        struct stat st {};
        if (stat(path_.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, ErrnoText(EISDIR));
            }
            if (!S_ISREG(st.st_mode)) return OpenDevice();
            // Write beside the file a link points to, and keep the link.
            if (char* real = realpath(path_.c_str(), nullptr)) {
                target_ = real;
                std::free(real);
            }
        }
        if (target_.empty()) target_ = path_;
        const std::filesystem::path target(target_);
        std::string folder = target.parent_path().string();
        folder = folder.empty() ? "./" : WithTrailingSlash(folder);
        const std::string name = target.filename().string();
        RemoveStaleTempFiles(folder, TempNameStem(folder, name) + "-");
        if (Status s = temp_.Create(folder, name); !s) {
            return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, s.reason());
        }
        // A file that is replaced keeps its permissions.
        if (st.st_mode != 0) fchmod(fileno(temp_.file()), st.st_mode & 07777);
        file_ = temp_.file();
        return Status::Ok();
    }

    Status WriteHeader(int channels, bool longMode) {
        OpenAudioFileInfo(info_, nullptr);
        const std::uint32_t rate = SampleRate(longMode);
        channels_ = channels;
        if (format_ == ExportFormat::Flac) return OpenFlac(channels, rate);
        info_.channels = channels;
        info_.frames = 0;
        info_.bitsPerSample = 16;
        info_.sampleRate = RateToExtended(rate);
        if (format_ == ExportFormat::Aiff) return Checked(WriteAiffHeader(info_, file_));
        WavFormat wf;
        wf.channels = static_cast<std::uint16_t>(channels);
        wf.samplesPerSec = rate;
        wf.avgBytesPerSec = rate * channels * 2;
        wf.blockAlign = static_cast<std::uint16_t>(channels * 2);
        wf.bitsPerSample = 16;
        return Checked(WriteWavHeader(info_, file_, wf));
    }

    Status WriteSamples(const std::int16_t* samples, std::size_t count) {
        // Long outputs go to the device as they are written rather than all
        // at once when the file is finished.
        written_ += count * 2;
        if (written_ - hinted_ >= kWritebackBytes && !device_) {
            temp_.StartWriteback();
            hinted_ = written_;
        }
        if (format_ == ExportFormat::Flac) {
            const auto frames = static_cast<sf_count_t>(count / std::size_t(channels_));
            errno = 0;
            if (sf_writef_short(flac_, samples, frames) != frames) return FlacFailure();
            return Status::Ok();
        }
        if (format_ == ExportFormat::Aiff) return Checked(WriteAiffSamples(info_, samples, count));
        return Checked(WriteWavSamples(info_, samples, count * 2));
    }

    // Patches the sizes (FLAC: ends the stream) and puts the file in place.
    Status Finish() {
        Status status = Status::Ok();
        if (format_ == ExportFormat::Flac) {
            errno = 0;
            const int error = sf_close(std::exchange(flac_, nullptr));
            if (error != 0) {
                status = Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite,
                                      errno != 0 ? ErrnoText(errno) : sf_error_number(error));
            }
        } else {
            status = Checked(format_ == ExportFormat::Aiff ? CloseAiff(info_) : CloseWav(info_));
        }
        FreeAudioFileInfo(info_);
        if (!status) return status;
        if (device_) {
            const bool closed = std::fclose(device_.release()) == 0;
            return closed ? Status::Ok()
                          : Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, ErrnoText(errno));
        }
        if (Status s = temp_.Flush(); !s) return Checked(s);
        if (Status s = temp_.CommitTo(target_); !s) return Checked(s);
        SyncFolder(std::filesystem::path(target_).parent_path().string());
        return Status::Ok();
    }

  private:
    static constexpr std::uint64_t kWritebackBytes = 8 << 20;
    std::uint64_t written_ = 0;  // sample bytes given to the file
    std::uint64_t hinted_ = 0;   // of them, handed to the device's writeback

    // libsndfile writes the stream straight to the file's descriptor.
    Status OpenFlac(int channels, std::uint32_t rate) {
        if (std::fflush(file_) != 0) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, ErrnoText(errno));
        }
        SF_INFO sfInfo{};
        sfInfo.samplerate = static_cast<int>(rate);
        sfInfo.channels = channels;
        sfInfo.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        errno = 0;
        flac_ = sf_open_fd(fileno(file_), SFM_WRITE, &sfInfo, SF_FALSE);
        if (flac_ == nullptr) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite,
                                errno != 0 ? ErrnoText(errno) : sf_strerror(nullptr));
        }
        // libsndfile writes the stream's header only with the first samples;
        // written now, a file without samples is a valid FLAC file too.
        sf_command(flac_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        if (sf_error(flac_) != SF_ERR_NO_ERROR) return FlacFailure();
        return Status::Ok();
    }

    // The system's reason where there is one, else libsndfile's.
    Status FlacFailure() {
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite,
                            errno != 0 ? ErrnoText(errno) : sf_strerror(flac_));
    }

    Status Checked(Status status) {
        return status.ok() ? status
                           : Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, status.reason());
    }

    // Opening never waits for a reader of a FIFO; a FIFO without one fails.
    Status OpenDevice() {
        const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, ErrnoText(errno));
        }
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        device_.reset(fdopen(fd, "wb"));
        if (!device_) {
            const int error = errno;
            close(fd);
            return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, ErrnoText(error));
        }
        file_ = device_.get();
        return Status::Ok();
    }

    std::string path_;
    std::string target_;  // the file the temporary file replaces
    ExportFormat format_;
    TempFile temp_;
    FilePtr device_;
    std::FILE* file_ = nullptr;
    AudioFileInfo info_;
    SNDFILE* flac_ = nullptr;
    int channels_ = 1;
};

}  // namespace

std::optional<ExportFormat> ExportFormatNamed(std::string_view name) {
    for (const ExportFormatName& f : kExportFormats) {
        if (name == f.name) return f.format;
    }
    return std::nullopt;
}

const char* ExportFileExtension(ExportFormat format) {
    for (const ExportFormatName& f : kExportFormats) {
        if (f.format == format) return f.extension;
    }
    return kExportFormats.front().extension;
}

ExportFormat ChooseExportFormat(std::string& fileName, ExportFormat chosenFilter) {
    const std::string ext = Extension(fileName);
    if (!ext.empty()) {
        // Any other extension than those of AIFF and FLAC means WAV.
        for (const ExportFormatName& f : kExportFormats) {
            if (LowerCase(ext) == f.extension) return f.format;
        }
        return ExportFormat::Wav;
    }
    // A WAV name is taken as it is.
    if (chosenFilter != ExportFormat::Wav) fileName += ExportFileExtension(chosenFilter);
    return chosenFilter;
}

Result<ExportOutcome> ExportTakes(const ExportRequest& request, Progress& progress) {
    // Open every take first, so a missing take leaves any existing output
    // file alone.
    std::vector<TrackInput> tracks;
    std::uint64_t blocks = 0;
    for (int t = 0; t < kTracks; ++t) {
        if (request.takePaths[t].empty()) continue;
        Result<TakeReader> take = TakeReader::Open(request.takePaths[t]);
        if (!take) return take.status();
        blocks = std::max(blocks, take->blocks());
        tracks.push_back({std::move(*take), nullptr, 0, request.levels[t], request.pans[t]});
    }
    if (tracks.empty()) return Status::Fail(ErrorCode::Failed, kMsgNoTakeSelected);

    const bool longMode = request.longMode;
    const int spb = SamplesPerBlock(longMode);
    const bool mono = tracks.size() == 1;
    const int channels = mono ? 1 : 2;

    // Replacing one of the takes by the output would lose it.
    for (const TrackInput& in : tracks) {
        if (in.take.IsSameFile(request.outputPath)) {
            return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, kReasonOutputIsATake)
                .WithPath(request.outputPath);
        }
    }
    // The 32-bit sizes of WAV and AIFF cannot describe a longer file: refuse
    // it before anything is written.
    const bool aiff = request.format == ExportFormat::Aiff;
    if (request.format != ExportFormat::Flac &&
        blocks > std::uint64_t(MaxSampleBytes(aiff)) / (std::uint64_t(spb) * channels * 2)) {
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite,
                            aiff ? kReasonAiffTooLarge : kReasonWavTooLarge)
            .WithPath(request.outputPath);
    }

    OutputFile out(request.outputPath, request.format);
    if (Status s = out.Create(); !s) return s.WithPath(request.outputPath);
    if (Status s = out.WriteHeader(channels, longMode); !s) return s.WithPath(request.outputPath);

    std::vector<std::uint8_t> coded(kBatchBlocks * kTakeBlockSize);
    std::vector<std::int16_t> decoded(tracks.size() * kBatchBlocks * spb);
    std::vector<std::int16_t> output(kBatchBlocks * spb * channels);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        tracks[i].samples = decoded.data() + i * kBatchBlocks * spb;
    }

    ExportOutcome outcome;
    outcome.channels = channels;
    outcome.blocks = blocks;
    for (std::uint64_t n = 0; n < blocks && !outcome.cancelled;) {
        std::size_t batch =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBatchBlocks, blocks - n));
        for (std::size_t j = 0; j < batch; ++j) {
            if (!progress.Step(n + j, blocks)) {
                outcome.cancelled = true;
                batch = j;
                break;
            }
        }
        if (batch == 0) break;
        for (TrackInput& in : tracks) {
            const Result<std::size_t> read = in.take.Read(coded.data(), batch);
            if (!read) return read.status();
            in.blocksInBatch = *read;
            DecodeTakeBlocks(coded.data(), in.samples, in.blocksInBatch, longMode);
        }
        if (mono) {
            // A lone take is written unchanged; a block the file no longer
            // holds is silence, as the cleared block would decode.
            TrackInput& in = tracks.front();
            std::copy_n(in.samples, in.blocksInBatch * spb, output.data());
            std::fill(output.begin() + in.blocksInBatch * spb, output.begin() + batch * spb, 0);
        } else {
            for (std::size_t j = 0; j < batch; ++j) {
                // Tracks whose take has ended add nothing.
                MixInput inputs[kTracks];
                int count = 0;
                for (const TrackInput& in : tracks) {
                    if (j < in.blocksInBatch)
                        inputs[count++] = {in.samples + j * spb, in.level, in.pan};
                }
                MixBlock(output.data() + j * spb * 2, inputs, count, spb);
            }
        }
        if (Status s = out.WriteSamples(output.data(), batch * spb * channels); !s) {
            return s.WithPath(request.outputPath);
        }
        n += batch;
        outcome.blocksWritten = n;
    }
    if (Status s = out.Finish(); !s) return s.WithPath(request.outputPath);
    return outcome;
}

}  // namespace trx5
