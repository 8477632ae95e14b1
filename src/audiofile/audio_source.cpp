#include "audiofile/audio_source.h"

#include <dlfcn.h>
#include <mpg123.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "audiofile/audiofile_messages.h"
#include "common/file_io.h"
#include "common/messages.h"

namespace trx5 {

namespace {

// Scratch space for frames of all channels, whatever their count.
constexpr std::size_t kScratchSamples = 16384;

std::size_t FramesPerChunk(int channels) {
    return std::max<std::size_t>(1, kScratchSamples / std::size_t(channels));
}

// Copies the first `keep` channels of `frames` interleaved frames.
void KeepChannels(const std::int16_t* in, int channels, std::size_t frames, int keep,
                  std::int16_t* out) {
    for (std::size_t i = 0; i < frames; ++i) {
        std::copy_n(in + i * std::size_t(channels), keep, out + i * std::size_t(keep));
    }
}

// A WAV/AIFF file as the program's own reader sees it.
class WavAiffSource final : public AudioSource {
  public:
    WavAiffSource(FilePtr file, const AudioFileInfo& record, std::uint64_t frames)
        : file_(std::move(file)), record_(record), left_(frames) {
        info_.channels = record.channels;
        info_.rate = ExtendedToDouble(record.sampleRate);
        info_.frames = frames;
        info_.sampleFormat = std::to_string(record.bitsPerSample);
    }

    std::size_t ReadChannels(std::int16_t* samples, std::size_t frames, int keep) override {
        const std::size_t count = std::size_t(std::min<std::uint64_t>(frames, left_));
        ReadFrameChannels(record_, file_.get(), count, keep, samples);
        left_ -= count;
        return count;
    }

  private:
    // The frames of a WAV/AIFF are known from the start.
    Result<bool> Count(const std::function<bool()>&) override { return true; }

    FilePtr file_;
    AudioFileInfo record_;
    std::uint64_t left_;
};

// The part of the sample-format line that names the samples.
std::string SampleText(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return "8";
        case SF_FORMAT_PCM_16:
            return "16";
        case SF_FORMAT_PCM_24:
            return "24";
        case SF_FORMAT_PCM_32:
            return "32";
        case SF_FORMAT_FLOAT:
            return "32 float";
        case SF_FORMAT_DOUBLE:
            return "64 float";
        case SF_FORMAT_ULAW:
            return "u-law";
        case SF_FORMAT_ALAW:
            return "A-law";
        case SF_FORMAT_IMA_ADPCM:
            return "IMA ADPCM";
        case SF_FORMAT_MS_ADPCM:
            return "MS ADPCM";
        case SF_FORMAT_GSM610:
            return "GSM 6.10";
        case SF_FORMAT_VORBIS:
            return "Vorbis";
        case SF_FORMAT_OPUS:
            return "Opus";
        case SF_FORMAT_ALAC_16:
            return "16 ALAC";
        case SF_FORMAT_ALAC_20:
            return "20 ALAC";
        case SF_FORMAT_ALAC_24:
            return "24 ALAC";
        case SF_FORMAT_ALAC_32:
            return "32 ALAC";
        case SF_FORMAT_MPEG_LAYER_I:
            return "MP1";
        case SF_FORMAT_MPEG_LAYER_II:
            return "MP2";
        case SF_FORMAT_MPEG_LAYER_III:
            return "MP3";
        default:
            break;
    }
    SF_FORMAT_INFO format{};
    format.format = subtype;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format) == 0 &&
        format.name != nullptr) {
        return format.name;
    }
    return "?";
}

std::string ContainerText(int major) {
    switch (major) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
            return "WAV";
        case SF_FORMAT_AIFF:
            return "AIFF";
        case SF_FORMAT_AU:
            return "AU";
        case SF_FORMAT_W64:
            return "W64";
        case SF_FORMAT_RF64:
            return "RF64";
        case SF_FORMAT_CAF:
            return "CAF";
        case SF_FORMAT_FLAC:
            return "FLAC";
        case SF_FORMAT_OGG:
            return "Ogg";
        default:
            break;
    }
    SF_FORMAT_INFO format{};
    format.format = major;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format) == 0 &&
        format.name != nullptr) {
        return format.name;
    }
    return "?";
}

// "24 (FLAC)", "32 float (WAV)", "Vorbis (Ogg)"; an MPEG stream has no
// container beside its codec: "MP3".
std::string FormatText(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    const std::string samples = SampleText(format & SF_FORMAT_SUBMASK);
    if (major == SF_FORMAT_MPEG) return samples;
    return samples + " (" + ContainerText(major) + ")";
}

bool IsMpeg(int format) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_MPEG_LAYER_I || subtype == SF_FORMAT_MPEG_LAYER_II ||
           subtype == SF_FORMAT_MPEG_LAYER_III;
}

// The kind of file a file's first bytes announce ("FLAC", "Ogg", "AU", ...),
// for one that libsndfile does not open; empty when they announce none.
std::string AnnouncedKind(int fd) {
    unsigned char head[4] = {};
    if (pread(fd, head, sizeof head, 0) != ssize_t(sizeof head)) return {};
    const auto is = [&head](const char* id) { return std::memcmp(head, id, 4) == 0; };
    if (is("fLaC")) return "FLAC";
    if (is("OggS")) return "Ogg";
    if (is(".snd")) return "AU";
    if (is("caff")) return "CAF";
    if (is("RIFF") || is("RIFX")) return "WAV";
    if (is("RF64")) return "RF64";
    if (is("riff")) return "W64";
    if (is("FORM")) return "AIFF";
    if (std::memcmp(head, "ID3", 3) == 0 || (head[0] == 0xFF && (head[1] & 0xE0) == 0xE0)) {
        return "MP3";
    }
    return {};
}

// The kind of an opened file, as AnnouncedKind names it.
std::string KindText(int format) {
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG)
        return SampleText(format & SF_FORMAT_SUBMASK);
    return ContainerText(format & SF_FORMAT_TYPEMASK);
}

// Why a file of `kind` (empty: unknown) that libsndfile recognises cannot be
// used: "the FLAC stream is damaged", with libsndfile's own words where they
// name the fault ("the AU file is damaged (channel count is zero)").
std::string DamagedReason(const std::string& kind, const char* libraryText) {
    std::string words = libraryText != nullptr ? libraryText : "";
    if (words.rfind("Error : ", 0) == 0) words.erase(0, 8);
    if (!words.empty() && words.back() == '.') words.pop_back();
    // Its words for faults it cannot name say no more than "damaged".
    const bool names =
        !words.empty() && words != "No Error" && words.find("nternal") == std::string::npos &&
        words.find("nknown") == std::string::npos && words.find("malformed") == std::string::npos;
    std::string reason = kReasonDamaged;
    if (!kind.empty()) {
        const bool stream = kind == "FLAC" || kind == "Ogg" || kind.rfind("MP", 0) == 0;
        reason = KindDamagedText(kind, stream);
    }
    if (names) {
        words[0] = char(std::tolower(static_cast<unsigned char>(words[0])));
        reason += " (";
        reason += words;
        reason += ")";
    }
    return reason;
}

// Why libsndfile did not open a file: nothing for one of no kind it knows
// (the message says it all), else what it found wrong.
std::string OpenFailureReason(int fd) {
    const std::string kind = AnnouncedKind(fd);
    if (sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT) {
        return kind.empty() ? std::string() : KindUnreadableText(kind);
    }
    return DamagedReason(kind, sf_strerror(nullptr));
}

// Float samples to 16 bits as sox does it: full scale is 32768, rounded to
// the nearest value and clipped, so a float file made from 16-bit samples
// gives them back exactly.
std::int16_t FloatToSample(float value) {
    const float scaled = value * 32768.0f;
    if (std::isnan(scaled)) return 0;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<std::int16_t>(std::lrint(scaled));
}

// Any other file libsndfile reads. It is opened on the descriptor of a file
// already opened as a regular file, so a FIFO never blocks.
class SndfileSource final : public AudioSource {
  public:
    ~SndfileSource() override { Close(); }

    static Result<std::unique_ptr<AudioSource>> Open(FilePtr file, FrameCount count) {
        std::unique_ptr<SndfileSource> source(new SndfileSource(std::move(file)));
        SF_INFO sfInfo{};
        if (!source->Reopen(sfInfo)) {
            return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile,
                                OpenFailureReason(fileno(source->file_.get())));
        }
        if (sfInfo.channels < 1) {
            return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile, kReasonNoChannels);
        }
        if (sfInfo.samplerate < 1) {
            return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile, kReasonRateBelowOneHz);
        }
        source->info_.channels = sfInfo.channels;
        source->info_.rate = sfInfo.samplerate;
        source->info_.sampleFormat = FormatText(sfInfo.format);
        source->format_ = sfInfo.format;
        const int subtype = sfInfo.format & SF_FORMAT_SUBMASK;
        source->floats_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
        // libsndfile only estimates the length of an MPEG stream (from its
        // size and bit rate), and in an Ogg stream it seeks to any frame
        // up to the last page's position, whatever that says: neither can
        // be confirmed by reading at its end, so their frames are always
        // counted.
        source->countAlways_ =
            IsMpeg(sfInfo.format) || (sfInfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
        // The header's claim; libsndfile gives SF_COUNT_MAX when it has none.
        source->claim_ =
            sfInfo.frames > 0 && sfInfo.frames != SF_COUNT_MAX ? std::uint64_t(sfInfo.frames) : 0;
        // A file whose first frame does not decode holds no frame, whatever
        // its header says. Then reading starts again from the first frame.
        bool stopped = false;
        if (source->DecodeFrames(1, {}, stopped) == 0) {
            return Status::Fail(
                ErrorCode::NotAudio, kMsgNotAudioFile,
                source->claim_ == 0 ? kReasonNoFrames : source->Damaged(sf_strerror(source->sf_)));
        }
        if (!source->Reopen(sfInfo)) {
            return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile, source->Damaged());
        }
        source->info_.frames = source->claim_;
        source->info_.framesExact = false;
        source->left_ = UINT64_MAX;
        if (count == FrameCount::kExact) {
            if (auto counted = source->CountFrames(); !counted) return counted.status();
        }
        return std::unique_ptr<AudioSource>(std::move(source));
    }

    std::size_t ReadChannels(std::int16_t* samples, std::size_t frames, int keep) override {
        const int channels = info_.channels;
        std::size_t done = 0;
        while (done < frames && left_ > 0) {
            const std::size_t want = std::size_t(
                std::min<std::uint64_t>({frames - done, left_, FramesPerChunk(channels)}));
            std::int16_t* out = samples + done * std::size_t(keep);
            // All channels straight into the caller's buffer when it wants
            // them all and the file's samples are integers.
            const bool direct = keep == channels && !floats_;
            if (!direct) scratch_.resize(want * std::size_t(channels));
            const std::size_t got = ReadAll(direct ? out : scratch_.data(), want);
            if (!direct) KeepChannels(scratch_.data(), channels, got, keep, out);
            done += got;
            left_ -= got;
            if (got < want) left_ = 0;  // decoding ended early
        }
        return done;
    }

  private:
    explicit SndfileSource(FilePtr file) : file_(std::move(file)) {}

    bool Reopen(SF_INFO& sfInfo) {
        Close();
        const int fd = fileno(file_.get());
        if (lseek(fd, 0, SEEK_SET) != 0) return false;
        sfInfo = SF_INFO{};
        // libsndfile gets a descriptor of its own to close: when it cannot
        // open a file it closes the descriptor it was given, even when told
        // not to, and the file's own would then be closed twice.
        const int own = dup(fd);
        if (own < 0) return false;
        sf_ = sf_open_fd(own, SFM_READ, &sfInfo, SF_TRUE);
        if (sf_ == nullptr) return false;
        // Decoders that work in floating point (Vorbis, Opus, MP3) clip
        // their overshoots instead of wrapping them around.
        sf_command(sf_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        return true;
    }

    void Close() {
        if (sf_ != nullptr) sf_close(sf_);
        sf_ = nullptr;
    }

    Result<bool> Count(const std::function<bool()>& keepGoing) override {
        // A header may claim frames the file does not hold (a file cut
        // short, a damaged length field): its claim is believed when the
        // frame before its end can be read, else the frames that decode are
        // counted, up to the claim.
        std::uint64_t frames = 0;
        if (!countAlways_ && claim_ > 0 && ReadsFrameAt(claim_ - 1)) {
            frames = claim_;
        } else {
            SF_INFO sfInfo{};
            if (!Reopen(sfInfo)) {
                return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile, Damaged());
            }
            bool stopped = false;
            const bool upToClaim = !IsMpeg(format_) && claim_ > 0;
            frames = DecodeFrames(upToClaim ? claim_ : UINT64_MAX, keepGoing, stopped);
            if (stopped) return false;
        }
        SF_INFO sfInfo{};
        if (frames == 0 || !Reopen(sfInfo)) {
            return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile, Damaged());
        }
        info_.frames = frames;
        info_.framesExact = true;
        left_ = frames;
        return true;
    }

    // Why the file, opened once, cannot be used after all.
    std::string Damaged(const char* libraryText = sf_strerror(nullptr)) const {
        return DamagedReason(KindText(format_), libraryText);
    }

    // Whether frame `frame` can be reached and read.
    bool ReadsFrameAt(std::uint64_t frame) {
        if (frame > std::uint64_t(SF_COUNT_MAX)) return false;
        std::vector<std::int16_t> one(std::size_t(info_.channels));
        return sf_seek(sf_, sf_count_t(frame), SEEK_SET) == sf_count_t(frame) &&
               sf_readf_short(sf_, one.data(), 1) == 1;
    }

    // The frames that decode, counted up to `limit`; `keepGoing` (when
    // given) is asked before each piece and `stopped` set when it says no.
    std::uint64_t DecodeFrames(std::uint64_t limit, const std::function<bool()>& keepGoing,
                               bool& stopped) {
        std::vector<std::int16_t> buffer(FramesPerChunk(info_.channels) *
                                         std::size_t(info_.channels));
        const std::uint64_t chunk = FramesPerChunk(info_.channels);
        std::uint64_t total = 0;
        while (total < limit) {
            if (keepGoing && !keepGoing()) {
                stopped = true;
                break;
            }
            const sf_count_t got =
                sf_readf_short(sf_, buffer.data(), sf_count_t(std::min(chunk, limit - total)));
            if (got <= 0) break;
            total += std::uint64_t(got);
        }
        return total;
    }

    // Reads `frames` frames of all channels. libsndfile gives float files
    // read as integers unscaled (as -1, 0 and 1), so those are read as
    // floats and scaled here.
    std::size_t ReadAll(std::int16_t* out, std::size_t frames) {
        if (!floats_) {
            const sf_count_t got = sf_readf_short(sf_, out, sf_count_t(frames));
            return got > 0 ? std::size_t(got) : 0;
        }
        floatScratch_.resize(frames * std::size_t(info_.channels));
        const sf_count_t got = sf_readf_float(sf_, floatScratch_.data(), sf_count_t(frames));
        if (got <= 0) return 0;
        const std::size_t count = std::size_t(got) * std::size_t(info_.channels);
        for (std::size_t i = 0; i < count; ++i) out[i] = FloatToSample(floatScratch_[i]);
        return std::size_t(got);
    }

    FilePtr file_;
    SNDFILE* sf_ = nullptr;
    bool floats_ = false;
    int format_ = 0;            // libsndfile's format of the file
    bool countAlways_ = false;  // its header's length cannot be confirmed
    std::uint64_t claim_ = 0;   // the header's frames; 0 when it has none
    std::uint64_t left_ = 0;
    std::vector<std::int16_t> scratch_;
    std::vector<float> floatScratch_;
};

}  // namespace

Result<std::unique_ptr<AudioSource>> AudioSource::Open(const std::string& path, FrameCount count) {
    std::string reason;
    FilePtr file = OpenRegularFile(path, &reason);
    if (!file) return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, reason);
    AudioFileInfo record;
    OpenAudioFileInfo(record, file.get());
    if (record.kind == AudioKindNone) return SndfileSource::Open(std::move(file), count);

    struct stat st {};
    if (fstat(fileno(file.get()), &st) != 0) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, ErrnoText(errno));
    }
    // Only the frames the file really holds are read; a file without any is
    // of no use.
    const std::uint64_t frames = IsUsableAudio(record) ? FramesInFile(record, st.st_size) : 0;
    if (frames == 0) return Status::Fail(ErrorCode::NotAudio, kMsgNotAudioFile);
    if (Status s = SeekFrame(record, file.get(), 0); !s) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, ErrnoText(errno));
    }
    return std::unique_ptr<AudioSource>(new WavAiffSource(std::move(file), record, frames));
}

}  // namespace trx5

// libsndfile makes the handles of its MPEG decoder, libmpg123, itself and
// leaves them printing the decoder's diagnostics on standard error ("[src/
// libmpg123/layer3.c:...] error: ..." for every damaged frame). This
// function stands in for libmpg123's own in every program linked with this
// file, which any program reading audio files is (the dynamic linker finds
// a program's definition before a library's): it makes the handle with the
// real function and sets MPG123_QUIET on it. Failures still reach
// libsndfile as error codes.
extern "C" mpg123_handle* mpg123_new(const char* decoder, int* error) {
    using New = mpg123_handle* (*)(const char*, int*);
    static const New real = reinterpret_cast<New>(dlsym(RTLD_NEXT, "mpg123_new"));
    if (real == nullptr) {
        if (error != nullptr) *error = MPG123_ERR;
        return nullptr;
    }
    mpg123_handle* handle = real(decoder, error);
    if (handle != nullptr) mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    return handle;
}
