#include "audiofile/audio_source.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "audiofile/audio_file_info.h"
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

    static Result<std::unique_ptr<AudioSource>> Open(FilePtr file) {
        std::unique_ptr<SndfileSource> source(new SndfileSource(std::move(file)));
        SF_INFO sfInfo{};
        if (!source->Reopen(sfInfo)) return Status::Fail(kMsgNotAudioFile);
        if (sfInfo.channels < 1 || sfInfo.samplerate < 1) return Status::Fail(kMsgNotAudioFile);
        source->info_.channels = sfInfo.channels;
        source->info_.rate = sfInfo.samplerate;
        source->info_.sampleFormat = FormatText(sfInfo.format);
        const int subtype = sfInfo.format & SF_FORMAT_SUBMASK;
        source->floats_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
        // libsndfile only estimates the length of an MPEG stream (from its
        // size and bit rate): the frames that really decode are counted.
        // Of other files the first frame is decoded, so a header that
        // promises frames which do not decode is not believed. Then reading
        // starts again from the first frame.
        sf_count_t frames = sfInfo.frames;
        const bool count = IsMpeg(sfInfo.format) || frames <= 0 || frames == SF_COUNT_MAX;
        const sf_count_t decoded = source->CountFrames(count ? SF_COUNT_MAX : 1);
        if (count || decoded == 0) frames = decoded;
        if (frames <= 0 || !source->Reopen(sfInfo)) return Status::Fail(kMsgNotAudioFile);
        source->info_.frames = std::uint64_t(frames);
        source->left_ = std::uint64_t(frames);
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
        sf_ = sf_open_fd(fd, SFM_READ, &sfInfo, SF_FALSE);
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

    // The frames that decode, counted up to `limit`.
    sf_count_t CountFrames(sf_count_t limit) {
        std::vector<std::int16_t> buffer(FramesPerChunk(info_.channels) *
                                         std::size_t(info_.channels));
        const sf_count_t chunk = sf_count_t(FramesPerChunk(info_.channels));
        sf_count_t total = 0;
        for (sf_count_t got;
             total < limit &&
             (got = sf_readf_short(sf_, buffer.data(), std::min(chunk, limit - total))) > 0;) {
            total += got;
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
    std::uint64_t left_ = 0;
    std::vector<std::int16_t> scratch_;
    std::vector<float> floatScratch_;
};

}  // namespace

Result<std::unique_ptr<AudioSource>> AudioSource::Open(const std::string& path) {
    std::string reason;
    FilePtr file = OpenRegularFile(path, &reason);
    if (!file) return Status::Fail(kMsgCannotOpen, reason);
    AudioFileInfo record;
    OpenAudioFileInfo(record, file.get());
    if (record.kind == AudioKindNone) return SndfileSource::Open(std::move(file));

    struct stat st {};
    if (fstat(fileno(file.get()), &st) != 0) return Status::Fail(kMsgCannotOpen, ErrnoText(errno));
    // Only the frames the file really holds are read; a file without any is
    // of no use.
    const std::uint64_t frames = IsUsableAudio(record) ? FramesInFile(record, st.st_size) : 0;
    if (frames == 0) return Status::Fail(kMsgNotAudioFile);
    if (Status s = SeekFrame(record, file.get(), 0); !s) {
        return Status::Fail(kMsgCannotOpen, ErrnoText(errno));
    }
    return std::unique_ptr<AudioSource>(new WavAiffSource(std::move(file), record, frames));
}

}  // namespace trx5
