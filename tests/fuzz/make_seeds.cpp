// Writes the seed corpus of the fuzz harnesses with the program's own
// writers: WAV/AIFF files, take files and card files, some of them cut or
// altered to reach the edges of the readers. Run by hand when the seeds
// change:
//   trx5_fuzz_seeds tests/fuzz/corpus
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "card/card_info.h"
#include "card/take_file.h"
#include "codec/take_codec.h"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

std::string g_root;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "trx5_fuzz_seeds: %s\n", what.c_str());
    std::exit(1);
}

void Check(const trx5::Status& status, const std::string& what) {
    if (!status.ok()) Fail(what + ": " + status.message());
}

Bytes ReadAll(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) Fail("cannot read " + path);
    Bytes bytes;
    std::uint8_t buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(f);
    return bytes;
}

void Save(const std::string& harness, const std::string& name, const Bytes& bytes) {
    const fs::path folder = fs::path(g_root) / harness;
    fs::create_directories(folder);
    const std::string path = (folder / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        Fail("cannot write " + path);
    }
}

void PutBE16(Bytes& b, std::uint32_t v) {
    b.push_back(std::uint8_t(v >> 8));
    b.push_back(std::uint8_t(v));
}
void PutBE32(Bytes& b, std::uint32_t v) {
    PutBE16(b, v >> 16);
    PutBE16(b, v & 0xFFFF);
}
void SetLE32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}
void SetBE32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}
void Append(Bytes& b, const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    b.insert(b.end(), p, p + n);
}

// Interleaved frames: a tone per channel with a little deterministic noise.
Samples Tone(std::size_t frames, int channels, int amplitude = 12000) {
    Samples s(frames * channels);
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            x = x * 1664525u + 1013904223u;
            const double v = amplitude * std::sin(double(i) * 0.05 * (c + 1));
            s[i * channels + c] = std::int16_t(int(v) + int(x >> 27) - 16);
        }
    }
    return s;
}

Bytes LittleEndian(const Samples& s) {
    Bytes b;
    for (std::int16_t v : s) {
        b.push_back(std::uint8_t(std::uint16_t(v)));
        b.push_back(std::uint8_t(std::uint16_t(v) >> 8));
    }
    return b;
}

// A WAV file from the writer; `bytes` are the sample bytes as stored.
Bytes Wav(int channels, std::uint32_t rate, int bits, const Bytes& bytes) {
    const std::string path = (fs::path(g_root) / ".seed.tmp").string();
    std::FILE* f = std::fopen(path.c_str(), "w+b");
    if (f == nullptr) Fail("cannot create " + path);
    trx5::AudioFileInfo info;
    trx5::WavFormat format;
    format.channels = std::uint16_t(channels);
    format.samplesPerSec = rate;
    format.bitsPerSample = std::uint16_t(bits);
    format.blockAlign = std::uint16_t(channels * ((bits + 7) / 8));
    format.avgBytesPerSec = rate * format.blockAlign;
    Check(trx5::WriteWavHeader(info, f, format), "WAV header");
    Check(trx5::WriteWavSamples(info, bytes.data(), bytes.size()), "WAV samples");
    Check(trx5::CloseWav(info), "WAV close");
    std::fclose(f);
    Bytes out = ReadAll(path);
    fs::remove(path);
    return out;
}

Bytes Wav16(int channels, std::uint32_t rate, const Samples& s) {
    return Wav(channels, rate, 16, LittleEndian(s));
}

// An AIFF file from the writer; 8-bit samples are passed as their bytes.
Bytes Aiff(int channels, const trx5::Extended80& rate, int bits, const Samples& s) {
    const std::string path = (fs::path(g_root) / ".seed.tmp").string();
    std::FILE* f = std::fopen(path.c_str(), "w+b");
    if (f == nullptr) Fail("cannot create " + path);
    trx5::AudioFileInfo info;
    info.channels = channels;
    info.bitsPerSample = bits;
    info.sampleRate = rate;
    Check(trx5::WriteAiffHeader(info, f), "AIFF header");
    if (bits == 8) {
        Bytes bytes;
        for (std::int16_t v : s) bytes.push_back(std::uint8_t(std::uint16_t(v) >> 8));
        Check(trx5::WriteAiffSamples(info, reinterpret_cast<const std::int16_t*>(bytes.data()),
                                     bytes.size()),
              "AIFF samples");
    } else {
        Check(trx5::WriteAiffSamples(info, s.data(), s.size()), "AIFF samples");
    }
    Check(trx5::CloseAiff(info), "AIFF close");
    std::fclose(f);
    Bytes out = ReadAll(path);
    fs::remove(path);
    return out;
}

Bytes Aiff16(int channels, std::uint32_t rate, const Samples& s) {
    return Aiff(channels, trx5::RateToExtended(rate), 16, s);
}

// Inserts a chunk at `at` and corrects the form size (little-endian for
// RIFF, big-endian for AIFF). Odd sizes get their pad byte.
Bytes WithChunk(Bytes file, std::size_t at, const char* id, const Bytes& body, bool bigEndian) {
    Bytes chunk(id, id + 4);
    const auto n = std::uint32_t(body.size());
    if (bigEndian) {
        PutBE32(chunk, n);
    } else {
        for (int i = 0; i < 4; ++i) chunk.push_back(std::uint8_t(n >> (8 * i)));
    }
    Append(chunk, body.data(), body.size());
    if (body.size() % 2 != 0) chunk.push_back(0);
    file.insert(file.begin() + std::ptrdiff_t(at), chunk.begin(), chunk.end());
    const auto form = std::uint32_t(file.size() - 8);
    bigEndian ? SetBE32(file, 4, form) : SetLE32(file, 4, form);
    return file;
}

Bytes Cut(Bytes b, std::size_t size) {
    b.resize(size);
    return b;
}

// The import harness reads its switches from the last byte: song mode
// (bit 0), right-channel target (bit 1), AIFF export (bit 2).
Bytes WithSwitches(Bytes b, std::uint8_t bits) {
    b.back() = std::uint8_t((b.back() & ~7) | bits);
    return b;
}

// 80-bit extended value from raw exponent and mantissa.
trx5::Extended80 Extended(std::uint16_t exponent, std::uint64_t mantissa) {
    trx5::Extended80 e{};
    e[0] = std::uint8_t(exponent >> 8);
    e[1] = std::uint8_t(exponent);
    for (int i = 0; i < 8; ++i) e[2 + i] = std::uint8_t(mantissa >> (56 - 8 * i));
    return e;
}

// 22050.5 Hz: 2^14 * 1.3458...
trx5::Extended80 FractionalRate() {
    return Extended(16383 + 14, std::uint64_t(22050.5 * std::ldexp(1.0, 63 - 14)));
}

Bytes TakeBytes(bool longMode, const Samples& samples, std::size_t blocks) {
    const trx5::TakeHeader h = trx5::MakeTakeHeader(longMode);
    Bytes b(h.begin(), h.end());
    Bytes coded(blocks * 512);
    trx5::EncodeTakeBlocks(coded.data(), samples.data(), blocks, longMode);
    Append(b, coded.data(), coded.size());
    return b;
}

Bytes Signed(const char* signature, std::size_t size) {
    Bytes b(signature, signature + std::strlen(signature));
    b.resize(std::max(size, b.size()), 0);
    return b;
}

void AudioReaderSeeds() {
    const char* h = "audio_reader_fuzz";
    Save(h, "wav16_mono.wav", Wav16(1, 8000, Tone(200, 1)));
    Save(h, "wav16_stereo.wav", Wav16(2, 44100, Tone(150, 2)));
    Bytes eight;
    for (std::int16_t v : Tone(301, 1)) eight.push_back(std::uint8_t((v >> 8) + 128));
    Save(h, "wav8_mono_odd.wav", Wav(1, 11025, 8, eight));
    Bytes wide;
    for (std::int16_t v : Tone(100, 2)) {
        wide.push_back(0x5A);
        wide.push_back(std::uint8_t(std::uint16_t(v)));
        wide.push_back(std::uint8_t(std::uint16_t(v) >> 8));
    }
    Save(h, "wav24_stereo.wav", Wav(2, 48000, 24, wide));
    Save(h, "wav_3ch.wav", Wav16(3, 22050, Tone(80, 3)));
    // Frames wider than the reader's buffer; the file ends inside the first.
    Save(h, "wav_wide_frames.wav", Wav(20000, 8000, 8, Bytes(3000, 0x90)));
    const Bytes mono = Wav16(1, 8000, Tone(120, 1));
    // A chunk of odd size with its pad byte between the format and the data.
    Save(h, "wav_odd_chunk.wav", WithChunk(mono, 12 + 8 + 18, "LIST", {'a', 'b', 'c'}, false));
    // The data chunk claims more than the file holds, cut inside a sample.
    const Bytes stereo = Wav16(2, 16000, Tone(200, 2));
    Save(h, "wav_truncated.wav", Cut(stereo, stereo.size() - 331));
    // Sample data before any format: refused.
    Bytes early = mono;
    const std::size_t data = 12 + 8 + 18;
    Bytes dataChunk(early.begin() + data, early.end());
    early.resize(12);
    early.insert(early.end(), dataChunk.begin(), dataChunk.end());
    Save(h, "wav_data_first.wav", early);

    Save(h, "aiff16_mono.aif", Aiff16(1, 32000, Tone(200, 1)));
    Save(h, "aiff8_stereo.aif", Aiff(2, trx5::RateToExtended(16000), 8, Tone(120, 2)));
    // Markers (names of even and odd length) and a loop that refers to them.
    Bytes marks;
    PutBE16(marks, 2);
    PutBE16(marks, 1);
    PutBE32(marks, 10);
    marks.push_back(5);
    Append(marks, "start", 5);
    PutBE16(marks, 2);
    PutBE32(marks, 150);
    marks.push_back(4);
    Append(marks, "stop", 4);
    marks.push_back(0);
    Bytes inst = {60, 0, 0, 127, 1, 127};
    PutBE16(inst, 0);  // gain
    PutBE16(inst, 1);  // sustain loop: forward
    PutBE16(inst, 1);  // from marker 1
    PutBE16(inst, 2);  // to marker 2
    PutBE16(inst, 0);  // release loop: none
    PutBE32(inst, 0);
    const Bytes aiff = Aiff16(1, 44100, Tone(160, 1));
    Save(h, "aiff_mark_inst.aif",
         WithChunk(WithChunk(aiff, 12 + 26, "MARK", marks, true), 12, "INST", inst, true));
    Save(h, "aiff_no_ssnd.aif", Cut(aiff, 12 + 26));
    Save(h, "aiff_truncated.aif", Cut(aiff, aiff.size() - 101));
}

void TakeFileSeeds() {
    const char* h = "take_file_fuzz";
    const Samples tone = Tone(2 * 510, 1);
    Save(h, "hifi_2_blocks.aud", TakeBytes(false, tone, 2));
    Save(h, "long_1_block.aud", TakeBytes(true, tone, 1));
    const Bytes header = TakeBytes(false, tone, 0);
    Save(h, "header_only.aud", header);
    Save(h, "header_511.aud", Cut(header, 511));
    Bytes bad = TakeBytes(false, tone, 1);
    bad[trx5::kTakeSignatureOffset + 4] = 'X';
    Save(h, "bad_signature.aud", bad);
    Bytes zero = TakeBytes(true, tone, 1);
    zero[trx5::kTakeSignatureOffset + 6] = 0;
    Save(h, "zero_in_signature.aud", zero);
    Save(h, "partial_block.aud", Cut(TakeBytes(false, tone, 2), 512 + 512 + 300));
    Save(h, "empty.aud", {});
}

void CardInfoSeeds() {
    const char* h = "card_info_fuzz";
    Save(h, "machine.tx5", Signed(trx5::kMachineSignature, 128));
    Save(h, "machine_exact.tx5", Signed(trx5::kMachineSignature, 0));
    Bytes hifi = Signed(trx5::kSongSignature, 128);
    Save(h, "song_hifi.tx5", hifi);
    Bytes longSong = hifi;
    longSong[trx5::kSongModeOffset] = 1;
    Save(h, "song_long.tx5", longSong);
    Bytes high = hifi;
    high[trx5::kSongModeOffset + 3] = 0x80;
    Save(h, "song_mode_high_byte.tx5", high);
    Save(h, "song_signature_only.tx5", Signed(trx5::kSongSignature, 0));
    Save(h, "song_mode_cut.tx5", Cut(hifi, trx5::kSongModeOffset + 2));
    Bytes unterminated = Signed(trx5::kSongSignature, 0);
    unterminated.push_back('X');
    unterminated.resize(128, 0);
    Save(h, "song_unterminated.tx5", unterminated);
    Bytes bad = Signed(trx5::kMachineSignature, 64);
    bad[5] = 't';
    Save(h, "machine_bad_signature.tx5", bad);
    Save(h, "empty.tx5", {});
}

void TakeCodecSeeds() {
    const char* h = "take_codec_fuzz";
    Save(h, "tone_hifi_block.raw", LittleEndian(Tone(509, 1)));
    // Full-scale jumps: the coder needs several steps to follow them.
    Samples square(2 * 510);
    for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 8) % 2 ? 32767 : -32768;
    Save(h, "square_full_scale.raw", LittleEndian(square));
    Save(h, "silence.raw", Bytes(1024, 0));
    Bytes noise(2048);
    std::uint32_t x = 99;
    for (auto& b : noise) {
        x = x * 1664525u + 1013904223u;
        b = std::uint8_t(x >> 24);
    }
    Save(h, "noise.raw", noise);
    const Samples tone = Tone(10 * 510, 1, 30000);
    Bytes hifi(2 * 512);
    trx5::EncodeTakeBlocks(hifi.data(), tone.data(), 2, false);
    Save(h, "coded_hifi.raw", hifi);
    Bytes longBlocks(2 * 512);
    trx5::EncodeTakeBlocks(longBlocks.data(), tone.data(), 2, true);
    Save(h, "coded_long.raw", longBlocks);
    // More blocks than are coded side by side in one group.
    Bytes many(10 * 512);
    trx5::EncodeTakeBlocks(many.data(), tone.data(), 10, false);
    Save(h, "coded_hifi_10_blocks.raw", many);
    // Largest steps up from near the top and down from near the bottom: the
    // decoder has to hold the value at the limits.
    Bytes steps(2 * 512);
    steps[0] = 0x70;
    std::memset(&steps[2], 0x7F, 510);
    steps[512] = 0x90;
    std::memset(&steps[514], 0x80, 510);
    Save(h, "largest_steps.raw", steps);
    Samples ramp(1020);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = std::int16_t(std::min<int>(32767, -32768 + int(i) * 300));
    }
    Save(h, "ramp_to_limit.raw", LittleEndian(ramp));
}

void AudioTextSeeds() {
    const char* h = "audio_text_fuzz";
    Save(h, "wav_44100_stereo.wav", Wav16(2, 44100, Tone(90, 2)));
    Save(h, "wav_32000_mono.wav", Wav16(1, 32000, Tone(70, 1)));
    Save(h, "aiff_16000_mono.aif", Aiff16(1, 16000, Tone(60, 1)));
    // 1 Hz and a data chunk that claims 100000 frames: hours of playing time.
    Bytes slow = Wav(1, 1, 8, Bytes(40, 128));
    SetLE32(slow, 12 + 8 + 18 + 4, 100000);
    Save(h, "wav_1hz_long_claim.wav", slow);
    Save(h, "wav_largest_rate.wav", Wav16(1, 4294967295u, Tone(20, 1)));
    Save(h, "aiff_rate_zero.aif", Aiff(1, trx5::Extended80{}, 16, Tone(20, 1)));
    Save(h, "aiff_rate_fraction.aif", Aiff(2, FractionalRate(), 16, Tone(30, 2)));
    Save(h, "aiff_rate_too_large.aif",
         Aiff(1, Extended(16383 + 40, std::uint64_t(1) << 63), 16, Tone(20, 1)));
    Save(h, "aiff_rate_nan.aif", Aiff(1, Extended(0x7FFF, 3), 16, Tone(20, 1)));
    // Two format chunks and no sample data.
    const Bytes mono = Wav16(1, 8000, Tone(10, 1));
    Bytes fmtTwice(mono.begin(), mono.begin() + 12 + 8 + 18);
    Append(fmtTwice, mono.data() + 12, 8 + 18);
    SetLE32(fmtTwice, 4, std::uint32_t(fmtTwice.size() - 8));
    Save(h, "wav_no_data.wav", fmtTwice);
    Save(h, "not_audio.txt", Bytes{'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o', '\n'});
}

void ImportExportSeeds() {
    const char* h = "import_export_fuzz";
    Save(h, "mono_hifi.wav", WithSwitches(Wav16(1, 32000, Tone(600, 1)), 0));
    Save(h, "mono_long.wav", WithSwitches(Wav16(1, 16000, Tone(600, 1)), 1));
    Save(h, "one_block_hifi.wav", WithSwitches(Wav16(1, 32000, Tone(509, 1)), 0));
    Save(h, "one_block_long_aiff.wav", WithSwitches(Wav16(1, 16000, Tone(510, 1)), 5));
    Save(h, "stereo_two_takes.wav", WithSwitches(Wav16(2, 32000, Tone(700, 2)), 2));
    Save(h, "stereo_two_takes_long_aiff.wav", WithSwitches(Wav16(2, 16000, Tone(400, 2)), 7));
    Save(h, "stereo_one_take.aif",
         WithSwitches(Aiff(2, trx5::RateToExtended(32000), 8, Tone(300, 2)), 4));
    Bytes wide;
    for (std::int16_t v : Tone(250, 1)) {
        wide.push_back(0);
        wide.push_back(std::uint8_t(std::uint16_t(v)));
        wide.push_back(std::uint8_t(std::uint16_t(v) >> 8));
    }
    Save(h, "wav24_mono_long.wav", WithSwitches(Wav(1, 16000, 24, wide), 1));
    Save(h, "three_channels.wav", WithSwitches(Wav16(3, 32000, Tone(200, 3)), 2));
    // Many channels: one whole frame and part of the next.
    Save(h, "many_channels.wav", WithSwitches(Wav(1500, 32000, 16, Bytes(4500, 0x31)), 2));
    Save(h, "no_frames.wav", Wav16(1, 32000, {}));
    const Bytes stereo = Wav16(2, 32000, Tone(1000, 2));
    Save(h, "truncated.wav", WithSwitches(Cut(stereo, 1203), 2));
    Save(h, "aiff_no_ssnd.aif", Cut(Aiff16(1, 32000, Tone(100, 1)), 12 + 26));
    Save(h, "not_audio.bin", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
}

}  // namespace

// Card images for the carver, after the byte that chooses unreadable
// sectors: takes of both modes among junk, one cut short.
void CarverSeeds() {
    const char* h = "carver_fuzz";
    const Samples tone = Tone(4 * 510, 1, 20000);
    Bytes image(1 + 512, 0x5A);
    image[0] = 0;
    for (const bool longMode : {false, true}) {
        const trx5::TakeHeader header = trx5::MakeTakeHeader(longMode);
        image.insert(image.end(), header.begin(), header.end());
        Bytes blocks(3 * 512);
        trx5::EncodeTakeBlocks(blocks.data(), tone.data(), 3, longMode);
        image.insert(image.end(), blocks.begin(), blocks.end());
    }
    Save(h, "two_takes.img", image);
    Bytes bad = image;
    bad[0] = 0x14;  // sectors 2 and 4 unreadable
    Save(h, "two_takes_bad_sectors.img", bad);
    Save(h, "take_cut.img", Cut(image, image.size() - 300));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trx5_fuzz_seeds CORPUS_FOLDER\n");
        return 2;
    }
    g_root = argv[1];
    fs::create_directories(g_root);
    AudioReaderSeeds();
    TakeFileSeeds();
    CardInfoSeeds();
    TakeCodecSeeds();
    AudioTextSeeds();
    ImportExportSeeds();
    CarverSeeds();
    return 0;
}
