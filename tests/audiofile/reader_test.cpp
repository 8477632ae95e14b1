#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/audio_file_info.h"
#include "support/test_support.h"

namespace {

using trx5::AudioFileInfo;
using trx5test::Bytes;
using trx5test::PutBE16;
using trx5test::PutBE32;
using trx5test::PutLE16;
using trx5test::PutLE32;
using trx5test::PutText;

// An IFF/RIFF chunk with its pad byte when the body is odd.
void PutChunk(Bytes& b, const std::string& id, const Bytes& body, bool bigEndian) {
    PutText(b, id);
    bigEndian ? PutBE32(b, std::uint32_t(body.size())) : PutLE32(b, std::uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) b.push_back(0xEE);
}

Bytes FmtBody(unsigned tag, unsigned channels, unsigned rate, unsigned bits, bool withExtra) {
    Bytes f;
    const unsigned frameBytes = channels * ((bits + 7) / 8);
    PutLE16(f, tag);
    PutLE16(f, channels);
    PutLE32(f, rate);
    PutLE32(f, rate * frameBytes);
    PutLE16(f, frameBytes);
    PutLE16(f, bits);
    if (withExtra) PutLE16(f, 0);
    return f;
}

Bytes CommBody(unsigned channels, std::uint32_t frames, unsigned bits, unsigned rate) {
    Bytes c;
    PutBE16(c, channels);
    PutBE32(c, frames);
    PutBE16(c, bits);
    const trx5::Extended80 r = trx5::RateToExtended(rate);
    c.insert(c.end(), r.begin(), r.end());
    return c;
}

Bytes SsndBody(const Bytes& samples, std::uint32_t offset = 0) {
    Bytes s;
    PutBE32(s, offset);
    PutBE32(s, 0);
    s.insert(s.end(), samples.begin(), samples.end());
    return s;
}

Bytes Riff(const Bytes& chunks) {
    Bytes b;
    PutText(b, "RIFF");
    PutLE32(b, std::uint32_t(chunks.size() + 4));
    PutText(b, "WAVE");
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

Bytes Form(const Bytes& chunks, const std::string& type = "AIFF") {
    Bytes b;
    PutText(b, "FORM");
    PutBE32(b, std::uint32_t(chunks.size() + 4));
    PutText(b, type);
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

// A file written to a temporary folder and opened for reading.
class OpenFile {
  public:
    explicit OpenFile(const Bytes& bytes) {
        trx5test::WriteFile(dir_ / "in.bin", bytes);
        file_ = std::fopen((dir_ / "in.bin").c_str(), "rb");
        EXPECT_NE(file_, nullptr);
        kind_ = trx5::OpenAudioFileInfo(info_, file_);
    }
    ~OpenFile() {
        if (file_ != nullptr) std::fclose(file_);
    }
    std::FILE* file() const { return file_; }
    const AudioFileInfo& info() const { return info_; }
    std::int32_t kind() const { return kind_; }

    // Reads `frames` frames from frame `from`; the count read goes to `read`.
    std::vector<std::int16_t> Read(std::uint32_t from, std::size_t frames, std::size_t* read) {
        std::vector<std::int16_t> out(frames * std::size_t(std::max(info_.channels, 0)), 0x5555);
        // Without a format (an AIFF lacking "COMM") there are no frames to seek to.
        const bool seekable = info_.kind != trx5::AudioKindNone && info_.channels > 0;
        EXPECT_EQ(trx5::SeekFrame(info_, file_, from).ok(), seekable);
        *read = trx5::ReadFrames(info_, file_, frames, out.data());
        return out;
    }

  private:
    trx5test::TempDir dir_;
    std::FILE* file_ = nullptr;
    AudioFileInfo info_;
    std::int32_t kind_ = -1;
};

TEST(AudioReader, WavWithShortFmtChunkAndOddChunk) {
    Bytes chunks;
    PutChunk(chunks, "fmt ", FmtBody(1, 2, 32000, 16, false), false);  // 16 bytes
    PutChunk(chunks, "LIST", Bytes{1, 2, 3}, false);                   // odd, pad follows
    PutChunk(chunks, "data", Bytes{0x34, 0x12, 0xFE, 0xFF, 0x00, 0x80, 0xFF, 0x7F}, false);
    OpenFile f(Riff(chunks));

    ASSERT_EQ(f.kind(), trx5::AudioKindWav);
    EXPECT_EQ(f.info().kind, trx5::AudioKindWav);
    EXPECT_EQ(f.info().channels, 2);
    EXPECT_EQ(f.info().bitsPerSample, 16);
    EXPECT_EQ(f.info().sampleRate, trx5::RateToExtended(32000));
    EXPECT_EQ(f.info().dataStart, 12 + 24 + 12 + 8);
    EXPECT_EQ(f.info().dataSize, 8);
    EXPECT_EQ(f.info().frames, 2u);
    EXPECT_EQ(f.info().loopEnd, 2);

    std::size_t read = 0;
    EXPECT_EQ(f.Read(0, 3, &read), (std::vector<std::int16_t>{0x1234, -2, -32768, 32767, 0, 0}));
    EXPECT_EQ(read, 4u);
}

TEST(AudioReader, AiffChunksMarkersAndInstrument) {
    Bytes mark;
    PutBE16(mark, 3);
    PutBE16(mark, 1);  // name of four characters: count byte, text, pad = 6 bytes
    PutBE32(mark, 111);
    mark.push_back(4);
    PutText(mark, "abcd");
    mark.push_back(0);
    PutBE16(mark, 2);  // five characters: count byte and text = 6 bytes
    PutBE32(mark, 222);
    mark.push_back(5);
    PutText(mark, "abcde");
    PutBE16(mark, 3);
    PutBE32(mark, 333);
    mark.push_back(0);
    mark.push_back(0);

    Bytes inst = {61, 3, 40, 90, 0, 127};
    PutBE16(inst, 0);  // gain
    PutBE16(inst, 1);  // sustain loop: play mode, begin id, end id
    PutBE16(inst, 3);
    PutBE16(inst, 2);
    PutBE16(inst, 0);  // release loop
    PutBE16(inst, 0);
    PutBE16(inst, 0);

    Bytes chunks;
    PutChunk(chunks, "NAME", Bytes{'o', 'd', 'd'}, true);
    PutChunk(chunks, "COMM", CommBody(1, 2, 16, 22050), true);
    PutChunk(chunks, "MARK", mark, true);
    PutChunk(chunks, "INST", inst, true);
    const std::size_t ssndAt = 12 + chunks.size();
    PutChunk(chunks, "SSND", SsndBody(Bytes{0x12, 0x34, 0xFF, 0xFE}, 4), true);
    OpenFile f(Form(chunks));

    ASSERT_EQ(f.kind(), trx5::AudioKindAiff);
    const AudioFileInfo& info = f.info();
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.frames, 2u);
    EXPECT_EQ(info.dataSize, 4);
    EXPECT_EQ(info.sampleRate, trx5::RateToExtended(22050));
    EXPECT_EQ(info.dataStart, std::int64_t(ssndAt + 16));  // the offset field is not applied
    EXPECT_EQ(info.baseNote, 61);
    EXPECT_EQ(info.detune, 3);
    EXPECT_EQ(info.lowNote, 40);
    EXPECT_EQ(info.highNote, 90);
    EXPECT_EQ(info.loopStart, 333);
    EXPECT_EQ(info.loopEnd, 222);

    std::size_t read = 0;
    EXPECT_EQ(f.Read(0, 2, &read), (std::vector<std::int16_t>{0x1234, -2}));
    EXPECT_EQ(read, 2u);
}

TEST(AudioReader, AiffWithoutSoundDataOrFormat) {
    Bytes onlyComm;
    PutChunk(onlyComm, "COMM", CommBody(2, 100, 16, 44100), true);
    OpenFile noSound(Form(onlyComm));
    ASSERT_EQ(noSound.kind(), trx5::AudioKindAiff);
    EXPECT_EQ(noSound.info().dataStart, 0);
    EXPECT_EQ(noSound.info().frames, 100u);
    // No sample data: the header bytes are never delivered as samples.
    std::size_t read = 1;
    EXPECT_EQ(noSound.Read(0, 2, &read), std::vector<std::int16_t>(4, 0));
    EXPECT_EQ(read, 0u);

    OpenFile empty(Form(Bytes{}));
    EXPECT_EQ(empty.kind(), trx5::AudioKindAiff);
    EXPECT_EQ(empty.info().channels, 0);
    EXPECT_EQ(empty.info().dataStart, 0);
}

struct DecodeCase {
    const char* name;
    bool aiff;
    unsigned bits;
    unsigned channels;
    Bytes data;                          // exactly two frames
    std::vector<std::int16_t> expected;  // the two frames as 16-bit samples
};

TEST(AudioReader, SampleWidthsAndByteOrders) {
    const std::vector<DecodeCase> cases = {
        {"wav8", false, 8, 2, {0x80, 0xFF, 0x00, 0x7F}, {0, 32512, -32768, -256}},
        {"aiff8", true, 8, 2, {0x80, 0x7F, 0x00, 0xFF}, {-32768, 32512, 0, -256}},
        {"wav12", false, 12, 1, {0x30, 0x12, 0xF0, 0xFF}, {0x1230, -16}},
        {"wav16",
         false,
         16,
         2,
         {0x34, 0x12, 0xFE, 0xFF, 0, 0x80, 0xFF, 0x7F},
         {0x1234, -2, -32768, 32767}},
        {"aiff16", true, 16, 1, {0x12, 0x34, 0xFF, 0xFE}, {0x1234, -2}},
        {"wav24",
         false,
         24,
         2,
         {0xAA, 0x34, 0x12, 0x01, 0xFE, 0xFF, 0, 0, 0x80, 0, 0xFF, 0x7F},
         {0x1234, -2, -32768, 32767}},
        {"aiff24", true, 24, 1, {0x12, 0x34, 0xAA, 0xFF, 0xFE, 0x01}, {0x1234, -2}},
        {"wav20", false, 20, 1, {0xF0, 0x34, 0x12, 0x00, 0x00, 0x80}, {0x1234, -32768}},
        {"wav32", false, 32, 1, {1, 2, 0x34, 0x12, 3, 4, 0xFE, 0xFF}, {0x1234, -2}},
        {"aiff32", true, 32, 1, {0x12, 0x34, 5, 6, 0x80, 0, 7, 8}, {0x1234, -32768}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes chunks;
        if (c.aiff) {
            PutChunk(chunks, "COMM", CommBody(c.channels, 2, c.bits, 32000), true);
            PutChunk(chunks, "SSND", SsndBody(c.data), true);
        } else {
            PutChunk(chunks, "fmt ", FmtBody(1, c.channels, 32000, c.bits, true), false);
            PutChunk(chunks, "data", c.data, false);
        }
        OpenFile f(c.aiff ? Form(chunks) : Riff(chunks));
        ASSERT_EQ(f.kind(), c.aiff ? trx5::AudioKindAiff : trx5::AudioKindWav);
        EXPECT_EQ(f.info().bitsPerSample, int(c.bits));
        EXPECT_EQ(f.info().frames, 2u);
        EXPECT_EQ(f.info().dataSize, std::int64_t(c.data.size()));

        // Reading past the end fills zeros.
        std::size_t read = 0;
        std::vector<std::int16_t> want = c.expected;
        want.resize(want.size() + c.channels, 0);
        EXPECT_EQ(f.Read(0, 3, &read), want);
        EXPECT_EQ(read, c.expected.size());

        // Seeking uses the stored sample size.
        const std::vector<std::int16_t> second(c.expected.begin() + c.channels, c.expected.end());
        EXPECT_EQ(f.Read(1, 1, &read), second);
        EXPECT_EQ(read, std::size_t(c.channels));
    }
}

// Reading only the first channels gives what reading whole frames gives
// for them, also for frames wider than the reader's buffer and for a file
// that ends inside a frame.
TEST(AudioReader, FirstChannelsOfFrames) {
    struct Case {
        unsigned channels;
        unsigned bits;
        std::size_t framesHeld;
        std::size_t extraSamples;  // of a frame the file ends in
    };
    const Case cases[] = {
        {1, 16, 40, 0}, {2, 16, 2000, 1}, {3, 8, 999, 1}, {9000, 16, 3, 1}, {20000, 8, 4, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels");
        const std::size_t width = c.bits / 8;
        Bytes data;
        for (std::size_t i = 0; i < (c.framesHeld * c.channels + c.extraSamples) * width; ++i) {
            data.push_back(std::uint8_t(i * 37 + i / 251));
        }
        Bytes chunks;
        PutChunk(chunks, "COMM", CommBody(c.channels, 100000, c.bits, 32000), true);
        PutChunk(chunks, "SSND", SsndBody(data), true);
        const Bytes file = Form(chunks);
        OpenFile f(file);
        ASSERT_EQ(f.kind(), trx5::AudioKindAiff);
        EXPECT_EQ(trx5::FramesInFile(f.info(), std::int64_t(file.size())), c.framesHeld);

        const std::size_t frames = c.framesHeld + 2;
        std::size_t wholeRead = 0;
        const std::vector<std::int16_t> whole = f.Read(0, frames, &wholeRead);
        for (int keep = 1; keep <= std::min(2, int(c.channels)); ++keep) {
            std::vector<std::int16_t> wanted;
            for (std::size_t i = 0; i < frames; ++i) {
                for (int k = 0; k < keep; ++k) wanted.push_back(whole[i * c.channels + k]);
            }
            ASSERT_TRUE(trx5::SeekFrame(f.info(), f.file(), 0).ok());
            std::vector<std::int16_t> got(frames * keep, 0x5555);
            const std::size_t read =
                trx5::ReadFrameChannels(f.info(), f.file(), frames, keep, got.data());
            EXPECT_EQ(got, wanted) << keep;
            // The samples of the frames held, and those of the frame the
            // file ends in.
            EXPECT_EQ(read, c.framesHeld * keep + std::min<std::size_t>(keep, c.extraSamples))
                << keep;
        }
        EXPECT_EQ(wholeRead, c.framesHeld * c.channels + c.extraSamples);
    }
}

TEST(AudioReader, UsableFiles) {
    Bytes chunks;
    PutChunk(chunks, "COMM", CommBody(2, 10, 16, 32000), true);
    PutChunk(chunks, "SSND", SsndBody(Bytes(40, 1)), true);
    OpenFile f(Form(chunks));
    EXPECT_TRUE(trx5::IsUsableAudio(f.info()));
    AudioFileInfo noData = f.info();
    noData.dataStart = 0;
    AudioFileInfo noKind = f.info();
    noKind.kind = trx5::AudioKindNone;
    AudioFileInfo slow = f.info();
    slow.sampleRate = {0x3F, 0xFE, 0xFF, 0, 0, 0, 0, 0, 0, 0};  // just under 1 Hz
    AudioFileInfo fast = f.info();
    fast.sampleRate = {0x40, 0x1F, 0x80, 0, 0, 0, 0, 0, 0, 0};  // 2^32 Hz
    for (const AudioFileInfo& info : {noData, noKind, slow, fast}) {
        EXPECT_FALSE(trx5::IsUsableAudio(info));
    }
    EXPECT_EQ(trx5::FramesInFile(noData, 1000), 0u);
    EXPECT_EQ(trx5::FramesInFile(noKind, 1000), 0u);
    // The claim, or what the file holds when that is less.
    EXPECT_EQ(trx5::FramesInFile(f.info(), f.info().dataStart + 40), 10u);
    EXPECT_EQ(trx5::FramesInFile(f.info(), f.info().dataStart + 39), 9u);
    EXPECT_EQ(trx5::FramesInFile(f.info(), f.info().dataStart), 0u);
}

struct MalformedCase {
    const char* name;
    Bytes bytes;
    std::int32_t kind;
    std::size_t samplesRead;  // reading 4 frames from frame 0
};

std::vector<MalformedCase> MalformedCases() {
    const Bytes fmtMono16 = [] {
        Bytes b;
        PutChunk(b, "fmt ", FmtBody(1, 1, 32000, 16, true), false);
        return b;
    }();
    const Bytes commMono16 = [] {
        Bytes b;
        PutChunk(b, "COMM", CommBody(1, 4, 16, 32000), true);
        return b;
    }();
    auto wav = [&](auto build) {
        Bytes b = fmtMono16;
        build(b);
        return Riff(b);
    };
    auto aiff = [&](auto build) {
        Bytes b = commMono16;
        build(b);
        return Form(b);
    };
    auto fmtOnly = [](unsigned tag, unsigned ch, unsigned bits) {
        Bytes b;
        PutChunk(b, "fmt ", FmtBody(tag, ch, 32000, bits, true), false);
        PutChunk(b, "data", Bytes(8, 1), false);
        return Riff(b);
    };
    auto commOnly = [](unsigned ch, unsigned bits) {
        Bytes b;
        PutChunk(b, "COMM", CommBody(ch, 4, bits, 32000), true);
        PutChunk(b, "SSND", SsndBody(Bytes(8, 1)), true);
        return Form(b);
    };
    Bytes garbage;
    for (int i = 0; i < 300; ++i) garbage.push_back(std::uint8_t(i * 37 + 11));

    return {
        {"empty file", {}, 0, 0},
        {"garbage", garbage, 0, 0},
        {"RIFF without WAVE",
         [] {
             Bytes b;
             PutText(b, "RIFF");
             PutLE32(b, 4);
             return b;
         }(),
         0, 0},
        {"WAVE without chunks", Riff({}), 0, 0},
        {"fmt without data", Riff(fmtMono16), 0, 0},
        {"data before fmt",
         [&] {
             Bytes b;
             PutChunk(b, "data", Bytes(8, 1), false);
             b.insert(b.end(), fmtMono16.begin(), fmtMono16.end());
             return Riff(b);
         }(),
         0, 0},
        {"fmt with zero channels", fmtOnly(1, 0, 16), 0, 0},
        {"fmt with 4 bits", fmtOnly(1, 1, 4), 0, 0},
        {"floating point", fmtOnly(3, 1, 32), 0, 0},
        {"extensible", fmtOnly(0xFFFE, 1, 16), 0, 0},
        {"fmt chunk of 14 bytes",
         [] {
             Bytes b;
             Bytes f = FmtBody(1, 1, 32000, 16, false);
             f.resize(14);
             PutChunk(b, "fmt ", f, false);
             PutChunk(b, "data", Bytes(8, 1), false);
             return Riff(b);
         }(),
         0, 0},
        {"fmt cut off by the end of the file",
         [] {
             Bytes b = Riff({});
             PutText(b, "fmt ");
             PutLE32(b, 16);
             PutLE16(b, 1);
             PutLE16(b, 1);
             return b;
         }(),
         0, 0},
        {"AIFF-C",
         [] {
             Bytes b;
             PutChunk(b, "COMM", CommBody(1, 4, 16, 8000), true);
             return Form(b, "AIFC");
         }(),
         0, 0},
        {"COMM with zero channels", commOnly(0, 16), 0, 0},
        {"COMM with 7 bits", commOnly(1, 7), 0, 0},
        {"COMM cut off",
         [] {
             Bytes b = Form({});
             PutText(b, "COMM");
             PutBE32(b, 18);
             PutBE16(b, 1);
             return b;
         }(),
         0, 0},
        {"COMM of 10 bytes",
         [] {
             Bytes b;
             Bytes c = CommBody(1, 4, 16, 8000);
             c.resize(10);
             PutChunk(b, "COMM", c, true);
             return Form(b);
         }(),
         0, 0},
        // Recognised, with sample data shorter than claimed.
        {"data size beyond the file", wav([](Bytes& b) {
             PutText(b, "data");
             PutLE32(b, 0xFFFFFFFF);
             PutLE16(b, 7);
             PutLE16(b, 8);
             b.push_back(9);  // half a sample
         }),
         2, 2},
        {"huge chunk hiding the data", wav([](Bytes& b) {
             PutText(b, "junk");
             PutLE32(b, 0xFFFFFFF0);
             PutChunk(b, "data", Bytes(8, 1), false);
         }),
         0, 0},
        {"huge chunk after the data", wav([](Bytes& b) {
             PutChunk(b, "data", Bytes(8, 1), false);
             PutText(b, "junk");
             PutLE32(b, 0xFFFFFFF0);
         }),
         2, 4},
        {"zero-size chunks", wav([](Bytes& b) {
             for (int i = 0; i < 50; ++i) PutChunk(b, "zero", {}, false);
             PutChunk(b, "data", {}, false);
         }),
         2, 0},
        {"data chunk header cut off", wav([](Bytes& b) {
             PutText(b, "data");
             PutLE16(b, 8);
         }),
         0, 0},
        {"SSND beyond the file", aiff([](Bytes& b) {
             PutText(b, "SSND");
             PutBE32(b, 0xFFFFFFFF);
             PutBE32(b, 0);
             PutBE32(b, 0);
             PutBE16(b, 0x0102);
         }),
         1, 1},
        {"SSND too short for its offset fields", aiff([](Bytes& b) {
             PutChunk(b, "SSND", {0, 0}, true);
             PutChunk(b, "APPL", Bytes(16, 1), true);
         }),
         1, 0},
        {"huge chunk before SSND", aiff([](Bytes& b) {
             PutText(b, "APPL");
             PutBE32(b, 0xFFFFFFFE);
             PutChunk(b, "SSND", SsndBody(Bytes(8, 1)), true);
         }),
         1, 0},
        {"MARK claiming 65535 markers", aiff([](Bytes& b) {
             Bytes m;
             PutBE16(m, 65535);
             PutBE16(m, 1);
             PutBE32(m, 5);
             m.push_back(255);  // name longer than the chunk
             PutText(m, "ab");
             PutChunk(b, "MARK", m, true);
             PutChunk(b, "SSND", SsndBody(Bytes(8, 1)), true);
         }),
         1, 4},
        {"MARK and INST cut off", aiff([](Bytes& b) {
             PutChunk(b, "SSND", SsndBody(Bytes(8, 1)), true);
             PutChunk(b, "INST", Bytes(20, 1), true);
             PutText(b, "MARK");
             PutBE32(b, 4000);
             PutBE16(b, 500);
             PutBE16(b, 1);
         }),
         1, 4},
        {"COMM with huge frame count and width",
         [] {
             Bytes b;
             PutChunk(b, "COMM", CommBody(65535, 0xFFFFFFFF, 65535, 32000), true);
             PutChunk(b, "SSND", SsndBody(Bytes(16, 1)), true);
             return Form(b);
         }(),
         1, 0},
    };
}

TEST(AudioReader, MalformedFilesAreRejectedOrReadAsZeros) {
    for (const MalformedCase& c : MalformedCases()) {
        SCOPED_TRACE(c.name);
        OpenFile f(c.bytes);
        EXPECT_EQ(f.kind(), c.kind);
        EXPECT_EQ(f.info().kind, c.kind);
        if (c.kind == trx5::AudioKindNone) {
            // Not recognised: the record stays at its defaults.
            EXPECT_EQ(f.info().channels, 0);
            EXPECT_EQ(f.info().dataStart, 0);
            EXPECT_FALSE(trx5::SeekFrame(f.info(), f.file(), 0).ok());
            std::int16_t sample = 7;
            EXPECT_EQ(trx5::ReadFrames(f.info(), f.file(), 1, &sample), 0u);
            continue;
        }
        std::size_t read = 0;
        const std::vector<std::int16_t> samples = f.Read(0, 4, &read);
        EXPECT_EQ(read, c.samplesRead);
        for (std::size_t i = read; i < samples.size(); ++i) EXPECT_EQ(samples[i], 0) << i;
    }
}

// Every prefix of valid files and a sweep of single-byte corruptions: the
// reader must neither crash nor read outside its buffers.
TEST(AudioReader, TruncatedAndCorruptedFilesAreSafe) {
    Bytes wavChunks;
    PutChunk(wavChunks, "fmt ", FmtBody(1, 2, 32000, 24, true), false);
    PutChunk(wavChunks, "data", Bytes(30, 0x40), false);
    Bytes mark;
    PutBE16(mark, 2);
    PutBE16(mark, 1);
    PutBE32(mark, 1);
    mark.push_back(3);
    PutText(mark, "abc");
    PutBE16(mark, 2);
    PutBE32(mark, 2);
    mark.push_back(0);
    mark.push_back(0);
    Bytes aiffChunks;
    PutChunk(aiffChunks, "COMM", CommBody(2, 5, 24, 32000), true);
    PutChunk(aiffChunks, "MARK", mark, true);
    PutChunk(aiffChunks, "INST", Bytes(20, 1), true);
    PutChunk(aiffChunks, "SSND", SsndBody(Bytes(30, 0x40)), true);

    for (const Bytes& whole : {Riff(wavChunks), Form(aiffChunks)}) {
        std::vector<Bytes> variants;
        for (std::size_t n = 0; n <= whole.size(); ++n) {
            variants.emplace_back(whole.begin(), whole.begin() + std::ptrdiff_t(n));
        }
        for (std::size_t i = 0; i < whole.size(); ++i) {
            for (std::uint8_t v : {std::uint8_t(0x00), std::uint8_t(0xFF)}) {
                Bytes b = whole;
                b[i] = v;
                variants.push_back(b);
            }
        }
        for (const Bytes& b : variants) {
            OpenFile f(b);
            ASSERT_TRUE(f.kind() == trx5::AudioKindNone || f.kind() == trx5::AudioKindAiff ||
                        f.kind() == trx5::AudioKindWav);
            if (f.kind() == trx5::AudioKindNone || f.info().channels > 8) continue;
            std::size_t read = 0;
            const std::vector<std::int16_t> samples = f.Read(0, 16, &read);
            ASSERT_LE(read, samples.size());
            for (std::size_t i = read; i < samples.size(); ++i) ASSERT_EQ(samples[i], 0);
        }
    }
}

TEST(AudioReader, NoFileOnlySetsDefaults) {
    AudioFileInfo info;
    info.kind = trx5::AudioKindWav;
    info.channels = 2;
    info.dataStart = 46;
    info.baseNote = 1;
    info.sampleRate = trx5::RateToExtended(8000);
    EXPECT_EQ(trx5::OpenAudioFileInfo(info, nullptr), trx5::AudioKindNone);
    EXPECT_EQ(info.kind, trx5::AudioKindNone);
    EXPECT_EQ(info.channels, 0);
    EXPECT_EQ(info.dataStart, 0);
    EXPECT_EQ(info.baseNote, 60);
    EXPECT_EQ(info.highNote, 60);
    EXPECT_EQ(info.sampleRate, trx5::RateToExtended(44100));
}

TEST(AudioReader, ExtendedToDouble) {
    using E = trx5::Extended80;
    struct Case {
        const char* name;
        E bytes;
        double expected;
    };
    const std::vector<Case> cases = {
        {"32000", trx5::RateToExtended(32000), 32000.0},
        {"44100", trx5::RateToExtended(44100), 44100.0},
        {"1", trx5::RateToExtended(1), 1.0},
        {"4294967295", trx5::RateToExtended(0xFFFFFFFF), 4294967295.0},
        {"0.5", E{0x3F, 0xFE, 0x80}, 0.5},
        {"22050", E{0x40, 0x0D, 0xAC, 0x44, 0x00}, 22050.0},
        {"zero", E{}, 0.0},
        {"negative", E{0xC0, 0x0D, 0xFA}, 0.0},
        {"infinity", E{0x7F, 0xFF, 0x80}, 0.0},
        {"NaN", E{0x7F, 0xFF, 0xC0}, 0.0},
        {"denormal", E{0x00, 0x00, 0x40}, 0.0},
        {"beyond double", E{0x7F, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, DBL_MAX},
        {"just beyond double", E{0x43, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         DBL_MAX},
        {"tiny", E{0x00, 0x01, 0x80}, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(trx5::ExtendedToDouble(c.bytes), c.expected);
    }
}

}  // namespace
