#include "rescue/rescue_output.h"

#include <gtest/gtest.h>

#include <cstring>

#include "audiofile/audio_file_info.h"
#include "card/card_info.h"
#include "rescue/rescue_image.h"
#include "support/reference_codec.h"

namespace {

using trx5test::Append;
using trx5test::Bytes;

// Every carved take lands under unplaced/ byte for byte with a WAV file of
// its samples beside it; the folder becomes a card folder with a report.
TEST(RescueToFolder, WritesTakesWavFilesMachineFileAndReport) {
    const Bytes hifi = trx5test::EncodedTake(false, 30, 1);
    const Bytes longTake = trx5test::EncodedTake(true, 12, 2);
    Bytes image = trx5test::RandomBytes(512 * 5, 1);
    Append(image, hifi);
    Append(image, trx5test::RandomBytes(512 * 2, 2));
    Append(image, longTake);
    trx5test::FaultySource source(image);
    trx5::RetryingSectorReader reader(source);
    trx5test::TempDir dir;

    auto out = trx5::RescueToFolder(reader, dir / "rescued");
    ASSERT_TRUE(out) << out.Describe();
    ASSERT_EQ(out->takes.size(), 2u);
    EXPECT_TRUE(trx5::CheckMachineFile(dir / "rescued/"));
    const std::string names[] = {"rescued-0001-HiFi", "rescued-0002-LONG"};
    const Bytes* takes[] = {&hifi, &longTake};
    for (int i = 0; i < 2; ++i) {
        const std::string base = dir / "rescued/unplaced/" + names[i];
        EXPECT_EQ(trx5test::ReadFile(base + ".aud"), *takes[i]) << names[i];
        const trx5ref::Samples expected = trx5ref::DecodeTakeBytes(*takes[i], i == 1);
        const Bytes wav = trx5test::ReadFile(base + ".wav");
        ASSERT_EQ(wav.size(), trx5::kWavHeaderSize + expected.size() * 2) << names[i];
        EXPECT_EQ(
            std::memcmp(wav.data() + trx5::kWavHeaderSize, expected.data(), expected.size() * 2),
            0);
    }
    const Bytes report = trx5test::ReadFile(dir / "rescued/rescue-report.txt");
    const std::string text(report.begin(), report.end());
    EXPECT_NE(text.find("unplaced/rescued-0002-LONG.aud"), std::string::npos) << text;
}

TEST(RescueToFolder, RefusesAFolderThatIsNotEmpty) {
    trx5test::TempDir dir;
    trx5test::WriteFile(dir / "keep.txt", std::string("x"));
    trx5test::FaultySource source(trx5test::EncodedTake(false, 3, 1));
    trx5::RetryingSectorReader reader(source);
    auto out = trx5::RescueToFolder(reader, dir.path());
    ASSERT_FALSE(out);
    EXPECT_EQ(out.code(), trx5::ErrorCode::Exists);
    EXPECT_FALSE(trx5test::FileExists(dir / trx5::kMachineFileName));
}

}  // namespace
