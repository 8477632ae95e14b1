// The WAV/AIFF reader on arbitrary bytes: the header parse, a read of every
// frame in chunks of varying size, a seek back into what was read, and a
// read of only the first channels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "fuzz_support.h"

namespace {

// The header may claim 4 G frames: stop after this many samples.
constexpr std::uint64_t kMaxSamples = 4u << 20;
// Samples asked for in one call at most.
constexpr std::uint64_t kMaxCallSamples = 1u << 16;
// Samples of the sequential read kept to compare the seek against.
constexpr std::size_t kKeptSamples = 1u << 16;
// Frames asked for per call, in turn: odd sizes cross the reader's buffer.
constexpr std::uint64_t kChunkFrames[] = {1, 509, 3, 8193, 1000};

// Reads `frames` frames and checks what every call must give: no more
// samples than asked, exactly as many as the file still holds up to that,
// and zeros after them. Returns the samples read.
std::size_t CheckedRead(const trx5::AudioFileInfo& info, std::FILE* file, std::uint64_t frames,
                        std::uint64_t holds, std::vector<std::int16_t>& buffer) {
    const std::size_t want = frames * std::size_t(info.channels);
    // Exactly the size asked for, so a write past it is caught.
    buffer.assign(want, std::int16_t(0x5A5A));
    const std::size_t got = trx5::ReadFrames(info, file, frames, buffer.data());
    FUZZ_CHECK(got <= want);
    FUZZ_CHECK(got == std::min<std::uint64_t>(want, holds));
    FUZZ_CHECK(std::all_of(buffer.begin() + got, buffer.end(), [](auto v) { return v == 0; }));
    return got;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trx5fuzz::MemoryFile file(data, size);
    trx5::AudioFileInfo info;
    const std::int32_t kind = trx5::OpenAudioFileInfo(info, file.get());
    FUZZ_CHECK(kind == info.kind);
    if (kind == trx5::AudioKindNone) {
        FUZZ_CHECK(info.channels == 0 && info.frames == 0 && info.dataStart == 0);
        return 0;
    }
    FUZZ_CHECK(kind == trx5::AudioKindAiff || kind == trx5::AudioKindWav);
    // An AIFF file without a format chunk is recognised but has no format to
    // read samples in.
    if (info.channels == 0) {
        FUZZ_CHECK(kind == trx5::AudioKindAiff && info.bitsPerSample == 0);
        FUZZ_CHECK(!trx5::SeekFrame(info, file.get(), 0).ok());
        std::int16_t none[4] = {1, 1, 1, 1};
        FUZZ_CHECK(trx5::ReadFrames(info, file.get(), 4, none) == 0);
        return 0;
    }
    FUZZ_CHECK(info.channels > 0 && info.bitsPerSample >= 8 && info.bitsPerSample <= 65535);
    FUZZ_CHECK(info.dataStart >= 0 && info.dataStart <= std::int64_t(size));
    const double rate = trx5::ExtendedToDouble(info.sampleRate);
    FUZZ_CHECK(std::isfinite(rate) && rate >= 0);

    const bool seeked = trx5::SeekFrame(info, file.get(), 0).ok();
    FUZZ_CHECK(seeked);
    const std::uint64_t channels = std::uint64_t(info.channels);
    const std::uint64_t width = std::uint64_t(info.BytesPerSample());
    // Whole samples from the first sample byte to the end of the file; the
    // reader takes them all, whatever the sample chunk's size says.
    const std::uint64_t available =
        info.dataStart > 0 ? (std::uint64_t(size) - std::uint64_t(info.dataStart)) / width : 0;

    std::vector<std::int16_t> buffer;
    std::vector<std::int16_t> kept;
    std::uint64_t framesLeft = info.frames;
    std::uint64_t consumed = 0;
    std::uint64_t asked = 0;
    bool ended = false;
    for (std::size_t call = 0; framesLeft > 0 && asked < kMaxSamples; ++call) {
        const std::uint64_t chunk = kChunkFrames[(call + size) % std::size(kChunkFrames)];
        const std::uint64_t frames =
            std::min({framesLeft, chunk, std::max<std::uint64_t>(1, kMaxCallSamples / channels)});
        const std::size_t got = CheckedRead(info, file.get(), frames, available - consumed, buffer);
        const std::size_t keep = std::min(kKeptSamples - kept.size(), got);
        kept.insert(kept.end(), buffer.begin(), buffer.begin() + keep);
        consumed += got;
        asked += frames * channels;
        framesLeft -= frames;
        if (got < frames * channels) {
            ended = true;
            break;
        }
    }
    // Past the end of the file there is nothing more, only zeros.
    if (ended) FUZZ_CHECK(CheckedRead(info, file.get(), 3, 0, buffer) == 0);

    // A seek to a frame inside what was read gives the same samples again.
    const std::uint64_t keptFrames = kept.size() / channels;
    if (keptFrames > 0) {
        const std::uint64_t frame = keptFrames / 2;
        const std::uint64_t frames = std::min<std::uint64_t>(keptFrames - frame, 600);
        const bool seekedBack = trx5::SeekFrame(info, file.get(), std::uint32_t(frame)).ok();
        FUZZ_CHECK(seekedBack);
        const std::size_t got =
            CheckedRead(info, file.get(), frames, available - frame * channels, buffer);
        FUZZ_CHECK(got == frames * channels);
        FUZZ_CHECK(std::equal(buffer.begin(), buffer.end(), kept.begin() + frame * channels));
    }

    // Reading only the first channels of every frame gives those channels of
    // the full read, a cut last frame included.
    const bool wholeFile = ended && kept.size() == consumed;
    const std::uint64_t limit = wholeFile ? kept.size() : keptFrames * channels;
    const std::uint64_t frames =
        std::min<std::uint64_t>((limit + channels - 1) / channels + (wholeFile ? 1 : 0), 2000);
    const std::uint64_t full = std::min(frames * channels, limit);
    const std::uint64_t keep = 1 + size % channels;
    const bool seekedStart = trx5::SeekFrame(info, file.get(), 0).ok();
    FUZZ_CHECK(seekedStart);
    std::vector<std::int16_t> part(frames * keep, std::int16_t(0x5A5A));
    const std::size_t got =
        trx5::ReadFrameChannels(info, file.get(), frames, int(keep), part.data());
    FUZZ_CHECK(got == full / channels * keep + std::min(full % channels, keep));
    for (std::size_t i = 0; i < part.size(); ++i) {
        FUZZ_CHECK(part[i] == (i < got ? kept[i / keep * channels + i % keep] : 0));
    }
    trx5::FreeAudioFileInfo(info);
    return 0;
}
