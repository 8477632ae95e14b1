// trx5card play of an hour of MP3 heard through a private PulseAudio server:
// the first sound reaches the sink within half a second, as playing neither
// counts the file's frames nor decodes it ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sound_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using trx5sound::PrivateSound;

struct TempFolder {
    std::string path = trx5sound::MakeTempFolder("trx5soundtest-");
    ~TempFolder() { trx5sound::RemoveFolder(path); }
};

// An hour of 44100 Hz stereo MP3: a minute made by sox, repeated (MPEG
// frames follow one another; a decoder plays them all). Empty when sox
// cannot make it.
std::string MakeHourOfMp3(const std::string& folder) {
    const std::string minute = folder + "minute.mp3";
    const trx5sound::RunResult sox =
        trx5sound::RunProgram({"sox", "-q", "-n", "-r", "44100", "-c", "2", minute, "synth", "60",
                               "sine", "440", "sine", "660", "vol", "0.5"},
                              trx5sound::EnvironmentWith(folder), 120s);
    if (sox.code != 0) return {};
    std::ifstream in(minute, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    const std::string hour = folder + "hour.mp3";
    std::ofstream out(hour, std::ios::binary);
    for (int i = 0; i < 60; ++i) out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return !bytes.empty() && out ? hour : std::string();
}

TEST(CliFirstSound, AnHourOfMp3SoundsWithinHalfASecond) {
    TempFolder folder;
    const std::string mp3 = MakeHourOfMp3(folder.path);
    if (mp3.empty()) GTEST_SKIP() << "sox cannot make an MP3 file here";
    PrivateSound sound;
    if (const std::string why = sound.Start(44100); !why.empty()) GTEST_SKIP() << why;
    trx5sound::FifoCapture& capture = sound.Capture();
    std::size_t seen = capture.Frames();

    // The hour would play on: the program is ended after a few seconds.
    trx5sound::RunResult run;
    const Clock::time_point start = Clock::now();
    std::thread player([&] {
        run = trx5sound::RunProgram({TRX5CARD_PATH, "play", mp3},
                                    trx5sound::EnvironmentWith(sound.RuntimeDir()), 5s);
    });
    std::optional<Clock::duration> firstSound;
    while (!firstSound && Clock::now() - start < 4s) {
        const std::size_t frames = capture.Frames();
        const trx5sound::Samples read = capture.Copy(seen, frames);
        if (std::any_of(read.begin(), read.end(), [](std::int16_t s) { return s != 0; })) {
            firstSound = Clock::now() - start;
        }
        seen = frames;
        std::this_thread::sleep_for(2ms);
    }
    player.join();
    ASSERT_TRUE(firstSound) << "no sound within 4 s: " << run.err;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*firstSound).count();
    std::printf("time to first sound: %lld ms\n", static_cast<long long>(ms));
    RecordProperty("first_sound_ms", std::to_string(ms));
    EXPECT_LT(*firstSound, 500ms);
}

}  // namespace
