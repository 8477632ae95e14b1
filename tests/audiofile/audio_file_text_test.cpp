#include "audiofile/audio_file_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

using trx5::AudioFileInfo;

AudioFileInfo Parsed(int kind, int channels, std::uint32_t frames, int bits,
                     trx5::Extended80 rate) {
    AudioFileInfo info;
    info.kind = kind;
    info.dataStart = 46;
    info.channels = channels;
    info.frames = frames;
    info.bitsPerSample = bits;
    info.sampleRate = rate;
    return info;
}

TEST(AudioFileText, Lines) {
    // 22050.5 Hz: the playing time divides by the truncated rate 22050.
    const trx5::Extended80 fractional = {0x40, 0x0D, 0xAC, 0x45, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(trx5::ExtendedToDouble(fractional), 22050.5);
    struct Case {
        AudioFileInfo info;
        const char* rate;
        const char* frames;
        const char* bits;
    };
    const Case cases[] = {
        {Parsed(trx5::AudioKindWav, 2, 88200, 16, trx5::RateToExtended(44100)),
         "Sampling Rate : 44100.00Hz", "Sampling Frames : 88200 (stereo)  0:00:02:000",
         "Bits / Word : 16"},
        {Parsed(trx5::AudioKindAiff, 1, 32000 * 3723 + 16000, 8, trx5::RateToExtended(32000)),
         "Sampling Rate : 32000.00Hz", "Sampling Frames : 119152000 (mono)  1:02:03:500",
         "Bits / Word : 8"},
        {Parsed(trx5::AudioKindWav, 4, 7, 16, trx5::RateToExtended(16000)),
         "Sampling Rate : 16000.00Hz", "Sampling Frames : 7 (4 channels)  0:00:00:000",
         "Bits / Word : 16"},
        {Parsed(trx5::AudioKindWav, 1000, 16000, 16, trx5::RateToExtended(16000)),
         "Sampling Rate : 16000.00Hz", "Sampling Frames : 16000 (1000 channels)  0:00:01:000",
         "Bits / Word : 16"},
        {Parsed(trx5::AudioKindAiff, 2, 44101, 16, fractional), "Sampling Rate : 22050.50Hz",
         "Sampling Frames : 44101 (stereo)  0:00:02:000", "Bits / Word : 16"},
        // An hour at the truncated rate: the hours agree with the rest.
        {Parsed(trx5::AudioKindAiff, 1, 22050u * 3600, 16, fractional),
         "Sampling Rate : 22050.50Hz", "Sampling Frames : 79380000 (mono)  1:00:00:000",
         "Bits / Word : 16"},
    };
    for (const Case& c : cases) {
        const trx5::AudioFileText text = trx5::DescribeAudioFile(c.info);
        EXPECT_TRUE(text.usable) << c.frames;
        EXPECT_EQ(text.rate, c.rate);
        EXPECT_EQ(text.frames, c.frames);
        EXPECT_EQ(text.bits, c.bits);
    }
}

TEST(AudioFileText, UnusableGivesBareCaptions) {
    AudioFileInfo none = Parsed(trx5::AudioKindNone, 2, 100, 16, trx5::RateToExtended(44100));
    AudioFileInfo noData = Parsed(trx5::AudioKindAiff, 2, 100, 16, trx5::RateToExtended(44100));
    noData.dataStart = 0;
    AudioFileInfo noRate = Parsed(trx5::AudioKindAiff, 2, 100, 16, trx5::Extended80{});
    for (const AudioFileInfo& info : {none, noData, noRate}) {
        const trx5::AudioFileText text = trx5::DescribeAudioFile(info);
        EXPECT_FALSE(text.usable);
        EXPECT_EQ(text.rate, "Sampling Rate : ");
        EXPECT_EQ(text.frames, "Sampling Frames : ");
        EXPECT_EQ(text.bits, "Bits / Word : ");
    }
}

TEST(AudioFileText, FromAFile) {
    trx5test::TempDir dir;
    EXPECT_FALSE(trx5::DescribeAudioFile(dir / "missing.wav").ok());
    EXPECT_FALSE(trx5::DescribeAudioFile(dir.path()).ok());
    trx5test::WriteFile(dir / "text.wav", "hello");
    const auto text = trx5::DescribeAudioFile(dir / "text.wav");
    ASSERT_TRUE(text.ok());
    EXPECT_FALSE(text->usable);
    EXPECT_EQ(text->rate, "Sampling Rate : ");

    trx5test::Bytes wav;
    trx5test::PutText(wav, "RIFF");
    trx5test::PutLE32(wav, 36 + 8);
    trx5test::PutText(wav, "WAVEfmt ");
    trx5test::PutLE32(wav, 16);
    for (std::uint32_t v : {1u, 1u}) trx5test::PutLE16(wav, v);
    trx5test::PutLE32(wav, 8000);
    trx5test::PutLE32(wav, 16000);
    for (std::uint32_t v : {2u, 16u}) trx5test::PutLE16(wav, v);
    trx5test::PutText(wav, "data");
    trx5test::PutLE32(wav, 8);
    wav.resize(wav.size() + 8, 0);
    trx5test::WriteFile(dir / "four.wav", wav);
    const auto four = trx5::DescribeAudioFile(dir / "four.wav");
    ASSERT_TRUE(four.ok());
    EXPECT_EQ(four->rate, "Sampling Rate : 8000.00Hz");
    EXPECT_EQ(four->frames, "Sampling Frames : 4 (mono)  0:00:00:000");
    EXPECT_EQ(four->bits, "Bits / Word : 16");
}

}  // namespace
