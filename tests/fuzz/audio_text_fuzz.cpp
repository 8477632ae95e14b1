// The three info lines of a WAV/AIFF file on arbitrary bytes: from the
// parsed record and from the file on disk, which must agree (the file's with
// the frames its data really holds); each line is the bare caption or a
// well-formed value that matches the record.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "audiofile/audio_file_info.h"
#include "audiofile/audio_file_text.h"
#include "audiofile/audio_source.h"
#include "fuzz_support.h"

namespace {

constexpr char kRateCaption[] = "Sampling Rate : ";
constexpr char kFramesCaption[] = "Sampling Frames : ";
constexpr char kBitsCaption[] = "Bits / Word : ";

// Whether `text` is exactly what `format` with these conversions gives back;
// a sscanf match alone would accept trailing text and loose spacing.
template <typename... Args>
bool Reprints(const std::string& text, const char* format, Args... args) {
    char line[160];
    std::snprintf(line, sizeof line, format, args...);
    return text == line;
}

void CheckLines(const trx5::AudioFileInfo& info, const trx5::AudioFileText& text) {
    const double r = trx5::ExtendedToDouble(info.sampleRate);
    // A recognised file with a sample format, sample data and a rate that
    // gives a playing time.
    const bool usable = info.kind != trx5::AudioKindNone && info.channels > 0 &&
                        info.bitsPerSample >= 8 && info.dataStart != 0 && r >= 1.0 &&
                        r <= 4294967295.0;
    FUZZ_CHECK(text.usable == usable);
    if (!usable) {
        FUZZ_CHECK(text.rate == kRateCaption);
        FUZZ_CHECK(text.frames == kFramesCaption);
        FUZZ_CHECK(text.bits == kBitsCaption);
        return;
    }

    double rate = 0;
    int end = 0;
    FUZZ_CHECK(std::sscanf(text.rate.c_str(), "Sampling Rate : %lfHz%n", &rate, &end) == 1);
    FUZZ_CHECK(std::size_t(end) == text.rate.size());
    FUZZ_CHECK(Reprints(text.rate, "Sampling Rate : %.2fHz", rate));
    FUZZ_CHECK(std::fabs(rate - r) <= 0.005 * (1 + r * 1e-12));

    unsigned frames = 0;
    char layout[32] = {};  // up to its closing parenthesis
    unsigned long long h = 0, m = 0, s = 0, ms = 0;
    FUZZ_CHECK(std::sscanf(text.frames.c_str(), "Sampling Frames : %u %31[^)])%llu:%llu:%llu:%llu",
                           &frames, layout, &h, &m, &s, &ms) == 6);
    FUZZ_CHECK(frames == info.frames);
    char channels[32];
    if (info.channels == 1) {
        std::snprintf(channels, sizeof channels, "(mono");
    } else if (info.channels == 2) {
        std::snprintf(channels, sizeof channels, "(stereo");
    } else {
        std::snprintf(channels, sizeof channels, "(%d channels", int(info.channels));
    }
    FUZZ_CHECK(std::string(layout) == channels);
    FUZZ_CHECK(m < 60 && s < 60 && ms < 1000);
    FUZZ_CHECK(Reprints(text.frames, "Sampling Frames : %u %s)  %1llu:%02llu:%02llu:%03llu", frames,
                        layout, h, m, s, ms));
    // The playing time is the frames over the rate, cut to whole
    // milliseconds: exactly so for a whole-number rate; a fractional rate may
    // be taken as its whole part, which can only lengthen the time.
    const unsigned long long total = ((h * 60 + m) * 60 + s) * 1000 + ms;
    const auto whole = static_cast<unsigned long long>(r);
    FUZZ_CHECK(total <= 1000ull * frames / whole);
    FUZZ_CHECK(static_cast<long double>(total) + 1 >= 1000.0L * frames / r);
    if (r == std::floor(r)) FUZZ_CHECK(total == 1000ull * frames / whole);

    FUZZ_CHECK(Reprints(text.bits, "Bits / Word : %d", info.bitsPerSample));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trx5::AudioFileInfo info;
    {
        trx5fuzz::MemoryFile file(data, size);
        trx5::OpenAudioFileInfo(info, file.get());
    }
    const trx5::AudioFileText text = trx5::DescribeAudioFile(info);
    CheckLines(info, text);

    const std::string path = trx5fuzz::TempFolder() + "audio";
    trx5fuzz::WriteBytes(path, data, size);
    const auto fromPath = trx5::DescribeAudioFile(path);
    FUZZ_CHECK(fromPath);
    if (info.kind != trx5::AudioKindNone) {
        // Described as an import reads it: with the frames its data really
        // holds, and of no use when it holds none.
        trx5::AudioFileInfo held = info;
        held.frames = std::uint32_t(trx5::FramesInFile(info, std::int64_t(size)));
        const trx5::AudioFileText lines = trx5::DescribeAudioFile(held);
        FUZZ_CHECK(fromPath->usable == (text.usable && held.frames > 0));
        if (fromPath->usable) {
            FUZZ_CHECK(fromPath->rate == lines.rate && fromPath->frames == lines.frames &&
                       fromPath->bits == lines.bits);
        } else {
            FUZZ_CHECK(fromPath->rate == kRateCaption && fromPath->frames == kFramesCaption &&
                       fromPath->bits == kBitsCaption);
        }
    } else {
        // Not a WAV/AIFF of the own reader: described as libsndfile reads it.
        const auto source = trx5::AudioSource::Open(path);
        FUZZ_CHECK(fromPath->usable == source.ok());
        if (source) {
            const trx5::AudioFileText lines = trx5::DescribeAudioSource(source.value()->info());
            FUZZ_CHECK(fromPath->rate == lines.rate && fromPath->frames == lines.frames &&
                       fromPath->bits == lines.bits);
        }
    }

    // A folder or a missing file has no lines at all.
    FUZZ_CHECK(!trx5::DescribeAudioFile(trx5fuzz::TempFolder()));
    FUZZ_CHECK(!trx5::DescribeAudioFile(path + ".none"));
    trx5::FreeAudioFileInfo(info);
    return 0;
}
