#include "card/card_info.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "common/folder.h"
#include "support/test_support.h"

namespace {

using trx5::MachineFileState;
using trx5test::Bytes;
using trx5test::TempDir;
using trx5test::WriteFile;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes WithZeroAndPadding(const std::string& signature, std::size_t size) {
    Bytes b = Text(signature);
    b.resize(size, 0);
    return b;
}

TEST(MachineFile, SignatureField) {
    const std::string sig = trx5::kMachineSignature;
    ASSERT_EQ(sig.size(), 37u);
    Bytes garbageAfterZero = WithZeroAndPadding(sig, 48);
    for (std::size_t i = 38; i < 48; ++i) garbageAfterZero[i] = 'x';
    garbageAfterZero.push_back('y');
    Bytes wrongCase = Text(sig);
    wrongCase[5] = 't';
    struct Case {
        const char* what;
        Bytes content;
        MachineFileState expected;
    };
    const Case cases[] = {
        {"37 bytes: just the signature", Text(sig), MachineFileState::Valid},
        {"38 bytes: signature and zero", WithZeroAndPadding(sig, 38), MachineFileState::Valid},
        {"36 bytes: signature cut short", Text(sig.substr(0, 36)), MachineFileState::Invalid},
        {"anything after the zero byte", garbageAfterZero, MachineFileState::Valid},
        {"blank instead of the zero byte", Text(sig + " "), MachineFileState::Invalid},
        {"a longer text", Text(sig + "1"), MachineFileState::Invalid},
        {"letter case differs", wrongCase, MachineFileState::Invalid},
        {"the song signature", WithZeroAndPadding(trx5::kSongSignature, 64),
         MachineFileState::Invalid},
        {"empty file", Bytes{}, MachineFileState::Invalid},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "SongNo.tx5", c.content);
        EXPECT_EQ(trx5::TestMachineFile(dir.path()), c.expected) << c.what;
        EXPECT_EQ(trx5::CheckMachineFile(dir.path()), c.expected == MachineFileState::Valid)
            << c.what;
    }
}

TEST(MachineFile, MissingOrAFolderIsMissing) {
    TempDir dir;
    EXPECT_EQ(trx5::TestMachineFile(dir.path()), MachineFileState::Missing);
    ASSERT_EQ(mkdir((dir / "SongNo.tx5").c_str(), 0755), 0);
    EXPECT_EQ(trx5::TestMachineFile(dir.path()), MachineFileState::Missing);
    EXPECT_FALSE(trx5::CheckMachineFile(dir.path()));
    EXPECT_EQ(trx5::TestMachineFile(dir / "no-such-folder/"), MachineFileState::Missing);
}

TEST(MachineFile, NameInAnyLetterCase) {
    for (const char* name : {"SONGNO.TX5", "songno.tx5", "SongNO.Tx5"}) {
        TempDir dir;
        WriteFile(dir / name, WithZeroAndPadding(trx5::kMachineSignature, 64));
        EXPECT_TRUE(trx5::CheckMachineFile(dir.path())) << name;
    }
}

// The check before a card is used: its message and code, with or without a
// trailing "/".
TEST(CardCheck, MachineFile) {
    TempDir valid, missing, invalid;
    trx5test::MakeMachineFile(valid.path());
    WriteFile(invalid / "SONGNO.TX5", "QORV TX-5 SONG    INFORMATION VER0001");
    for (const char* slash : {"", "/"}) {
        const auto folder = [slash](const TempDir& dir) {
            std::string path = dir.path();
            path.pop_back();
            return path + slash;
        };
        EXPECT_TRUE(trx5::CheckCardFolder(folder(valid)).ok());
        const trx5::Status none = trx5::CheckCardFolder(folder(missing));
        EXPECT_EQ(none.message(), "No TRX-5 card information");
        EXPECT_EQ(none.code(), trx5::ErrorCode::NoCard);
        const trx5::Status other = trx5::CheckCardFolder(folder(invalid));
        EXPECT_EQ(other.message(), "Invalid TRX-5 card information");
        EXPECT_EQ(other.code(), trx5::ErrorCode::InvalidCard);
    }
}

// The song file numbers that card file names carry, and the song number
// as the song list shows it.
TEST(CardFileNames, FileNumbers) {
    struct Case {
        const char* name;
        std::optional<int> song;  // of a song file's name
        std::optional<int> take;  // of a take file's name
    };
    const Case cases[] = {
        {"UtyPrm07.tx5", 7, {}},
        {"utyprm99.TX5", 99, {}},
        {"UtyPrm7x.tx5", {}, {}},
        {"UtyPrm07.tx", {}, {}},
        {"07-12.aud", {}, 7},
        {"99-37.AUD", {}, 99},
        {"07-40.aud", {}, {}},
        {"07-18.aud", {}, {}},
        {"x7-12.aud", {}, {}},
        {"SongNo.tx5", {}, {}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trx5::SongFileNumber(c.name), c.song) << c.name;
        EXPECT_EQ(trx5::TakeFileNumber(c.name), c.take) << c.name;
    }
    EXPECT_EQ(trx5::SongNumberText(1), "01");
    EXPECT_EQ(trx5::SongNumberText(12), "12");
    EXPECT_EQ(trx5::SongNumberText(100), "100");
}

Bytes SongFile(std::size_t size, const Bytes& mode) {
    Bytes b = WithZeroAndPadding(trx5::kSongSignature, trx5::kSongModeOffset);
    b.insert(b.end(), mode.begin(), mode.end());
    b.resize(size, 0);
    return b;
}

TEST(SongFile, SignatureAndMode) {
    struct Case {
        const char* what;
        Bytes content;
        bool valid;
        bool longMode;
    };
    Bytes threeBlanks = Text("QORV TX-5 SONG   INFORMATION VER0001");
    threeBlanks.resize(256, 0);
    const Case cases[] = {
        {"mode 0", SongFile(256, {0, 0, 0, 0}), true, false},
        {"mode 0 in a file of exactly 120 bytes", SongFile(120, {0, 0, 0, 0}), true, false},
        {"mode 1", SongFile(256, {1, 0, 0, 0}), true, true},
        {"mode 2", SongFile(256, {2, 0, 0, 0}), true, true},
        {"mode in the high byte only", SongFile(256, {0, 0, 0, 1}), true, true},
        {"mode FF FF FF FF", SongFile(256, {0xFF, 0xFF, 0xFF, 0xFF}), true, true},
        {"file ends inside the mode", SongFile(119, {0, 0, 0, 0}), true, true},
        {"file of just the signature", Text(trx5::kSongSignature), true, true},
        {"three blanks in the signature", threeBlanks, false, false},
        {"the machine signature", WithZeroAndPadding(trx5::kMachineSignature, 256), false, false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "UtyPrm00.tx5", c.content);
        const trx5::SongFileInfo info = trx5::ReadSongFile(dir / "UtyPrm00.tx5");
        EXPECT_EQ(info.valid, c.valid) << c.what;
        if (c.valid) {
            EXPECT_EQ(info.longMode, c.longMode) << c.what;
        }
    }
    TempDir dir;
    EXPECT_FALSE(trx5::ReadSongFile(dir / "UtyPrm00.tx5").valid);
}

TEST(SongList, KeepsValidSongsInNumberOrder) {
    TempDir dir;
    trx5test::MakeMachineFile(dir.path());
    for (int n : {41, 3, 0, 17, 99, 8, 60}) trx5test::MakeSongFile(dir.path(), n, n % 2 == 1);
    // Not songs: a wrong signature, a letter where a digit belongs, a name of
    // the wrong length and a folder with a song file's name.
    WriteFile(dir / "UtyPrm05.tx5", WithZeroAndPadding("QORV TX-5 SONG", 256));
    WriteFile(dir / "UtyPrmA1.tx5", SongFile(256, {0, 0, 0, 0}));
    WriteFile(dir / "UtyPrm123.tx5", SongFile(256, {0, 0, 0, 0}));
    WriteFile(dir / "UtyPrm4.tx5", SongFile(256, {0, 0, 0, 0}));
    ASSERT_EQ(mkdir((dir / "UtyPrm06.tx5").c_str(), 0755), 0);

    // By song number, whatever order the directory lists them in.
    std::vector<std::string> expected;
    for (int n : {0, 3, 8, 17, 41, 60, 99}) {
        char song[16];
        std::snprintf(song, sizeof song, "UtyPrm%02d.tx5", n);
        expected.push_back(song);
    }

    const std::vector<trx5::SongEntry> songs = trx5::ListSongs(dir.path());
    std::vector<std::string> got;
    for (const trx5::SongEntry& song : songs) {
        got.push_back(song.path.substr(song.path.rfind('/') + 1));
        EXPECT_EQ(song.path, dir.path() + got.back());
        const int n = std::stoi(got.back().substr(6, 2));
        EXPECT_EQ(song.fileNumber, n);
        EXPECT_EQ(song.SongNumber(), n + 1);
        EXPECT_EQ(song.longMode, n % 2 == 1) << got.back();
    }
    EXPECT_EQ(got, expected);
}

TEST(SongList, UpperCaseNameAndListText) {
    TempDir dir;
    trx5test::MakeMachineFile(dir.path());
    WriteFile(dir / "UTYPRM07.TX5", SongFile(256, {1, 0, 0, 0}));
    const auto songs = trx5::ListSongs(dir.path());
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs[0].fileNumber, 7);
    EXPECT_EQ(songs[0].SongNumber(), 8);
    EXPECT_EQ(songs[0].ListText(), "08 LONG");
    EXPECT_EQ(songs[0].path, dir / "UTYPRM07.TX5");

    trx5::SongEntry last{99, false, ""};
    EXPECT_EQ(last.ListText(), "100 HiFi");
    trx5::SongEntry first{0, false, ""};
    EXPECT_EQ(first.ListText(), "01 HiFi");
}

TEST(SongList, FolderThatCannotBeListedHasNoSongs) {
    TempDir dir;
    EXPECT_TRUE(trx5::ListSongs(dir / "missing/").empty());
    EXPECT_TRUE(trx5::ListSongs(dir.path()).empty());
}

// A FIFO or socket where a card file is expected is left out at once, as
// any file that does not qualify; opening it must never wait for a writer.
TEST(CardFiles, SpecialFilesAreLeftOutWithoutWaiting) {
    TempDir card, other;
    ASSERT_EQ(mkfifo((other / "SongNo.tx5").c_str(), 0644), 0);
    trx5test::MakeMachineFile(card.path());
    trx5test::MakeSongFile(card.path(), 0, false);
    ASSERT_EQ(mkfifo((card / "UtyPrm01.tx5").c_str(), 0644), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = card / "UtyPrm02.tx5";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    trx5test::MakeTake(card.path(), 0, 0, 0, false, 2, 1);
    ASSERT_EQ(mkfifo((card / "00-01.aud").c_str(), 0644), 0);

    alarm(20);  // a hang fails the test instead of blocking the run
    EXPECT_EQ(trx5::TestMachineFile(other.path()), MachineFileState::Missing);
    const std::vector<trx5::SongEntry> songs = trx5::ListSongs(card.path());
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs[0].fileNumber, 0);
    EXPECT_FALSE(trx5::ReadSongFile(card / "UtyPrm01.tx5").valid);
    EXPECT_FALSE(trx5::IsTakeFile(card / "00-01.aud"));
    const trx5::TakeFiles takes = trx5::FindTakeFiles(card.path(), 0);
    EXPECT_EQ(takes[0], card / "00-00.aud");
    EXPECT_EQ(takes[1], "");
    alarm(0);
    close(sock);
}

TEST(FolderSearch, PatternAndNoCaseLookup) {
    EXPECT_TRUE(trx5::MatchesPattern("utyprm07.TX5", "UtyPrm??.tx5"));
    EXPECT_FALSE(trx5::MatchesPattern("UtyPrm7.tx5", "UtyPrm??.tx5"));
    EXPECT_FALSE(trx5::MatchesPattern("UtyPrm007.tx5", "UtyPrm??.tx5"));
    EXPECT_FALSE(trx5::MatchesPattern("UtyPrm07.tx6", "UtyPrm??.tx5"));

    TempDir dir;
    ASSERT_EQ(mkdir((dir / "songno.tx5").c_str(), 0755), 0);
    EXPECT_EQ(trx5::FindFileNoCase(dir.path(), "SongNo.tx5"), "");
    WriteFile(dir / "SONGNO.TX5", "x");
    EXPECT_EQ(trx5::FindFileNoCase(dir.path(), "SongNo.tx5"), dir / "SONGNO.TX5");
    EXPECT_EQ(trx5::WithTrailingSlash("a/b"), "a/b/");
    EXPECT_EQ(trx5::WithTrailingSlash("a/b/"), "a/b/");
    EXPECT_EQ(trx5::WithTrailingSlash(""), "");
}

// Of names that differ only in letter case the first in byte order is the
// one used, whatever order the folder lists them in; the others are named.
TEST(CaseTwins, FirstInByteOrderStandsForTheFile) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> kept;
        std::vector<std::string> twins;  // "name>chosen"
    };
    const Case cases[] = {
        {{"00-01.aud", "00-01.AUD"}, {"00-01.AUD"}, {"00-01.aud>00-01.AUD"}},
        {{"b", "A", "a", "B", "c"}, {"A", "B", "c"}, {"a>A", "b>B"}},
        {{"x.aud", "X.aud", "X.AUD"}, {"X.AUD"}, {"X.aud>X.AUD", "x.aud>X.AUD"}},
        {{"one"}, {"one"}, {}},
        {{}, {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<trx5::CaseTwin> twins;
        EXPECT_EQ(trx5::KeepFirstOfCaseTwins(c.names, &twins), c.kept);
        std::vector<std::string> named;
        for (const auto& twin : twins) named.push_back(twin.name + ">" + twin.chosen);
        EXPECT_EQ(named, c.twins);
    }
}

// Songs and the machine file follow the rule, and every twin of a card's
// files gets its line.
TEST(CaseTwins, SongsAndNotesOfACard) {
    TempDir dir;
    WriteFile(dir / "songno.tx5", "not a machine file");
    WriteFile(dir / "SongNo.tx5", WithZeroAndPadding(trx5::kMachineSignature, 64));
    WriteFile(dir / "UtyPrm03.tx5", SongFile(256, {1, 0, 0, 0}));  // LONG
    WriteFile(dir / "utyprm03.TX5", SongFile(256, {0, 0, 0, 0}));  // HiFi, left aside
    WriteFile(dir / "00-01.aud", "x");
    WriteFile(dir / "00-01.AUD", "y");
    WriteFile(dir / "notes.txt", "z");
    WriteFile(dir / "NOTES.TXT", "z");

    EXPECT_TRUE(trx5::CheckMachineFile(dir.path()));
    const std::vector<trx5::SongEntry> songs = trx5::ListSongs(dir.path());
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs[0].ListText(), "04 LONG");
    EXPECT_EQ(songs[0].path, dir / "UtyPrm03.tx5");
    EXPECT_EQ(trx5::CardFolderNotes(dir.path()),
              (std::vector<std::string>{"songno.tx5: same machine file as SongNo.tx5, ignored",
                                        "utyprm03.TX5: same song file as UtyPrm03.tx5, ignored",
                                        "00-01.aud: same take as 00-01.AUD, ignored",
                                        "Song 01: 1 take file but no song file"}));
    EXPECT_EQ(trx5::CaseTwinNote({"NOTES.TXT", "notes.txt"}),
              "NOTES.TXT: same file as notes.txt, ignored");
}

// Takes that would vanish from view are named: those of a song without its
// song file, and files in a take's place that are no take.
TEST(CardNotes, TakesWithoutASongAndDamagedTakes) {
    TempDir dir;
    WriteFile(dir / "SongNo.tx5", WithZeroAndPadding(trx5::kMachineSignature, 64));
    WriteFile(dir / "UtyPrm00.tx5", SongFile(256, {0, 0, 0, 0}));
    trx5test::MakeTake(dir.path(), 0, 0, 0, false, 2, 1);
    WriteFile(dir / "00-05.aud", Bytes(700, 0));  // no signature: damaged
    WriteFile(dir / "00-17.aud", Text("short"));  // shorter than a header
    WriteFile(dir / "00-08.aud", Bytes(700, 0));  // no slot has this name
    for (int v : {0, 1, 6}) trx5test::MakeTake(dir.path(), 1, 2, v, false, 1, v);  // song 02
    WriteFile(dir / "UtyPrm04.tx5", Text("not a song file"));
    trx5test::MakeTake(dir.path(), 4, 0, 0, true, 1, 1);  // song 05
    EXPECT_EQ(
        trx5::CardFolderNotes(dir.path()),
        (std::vector<std::string>{
            "00-05.aud: not a take (damaged?), kept", "00-17.aud: not a take (damaged?), kept",
            "Song 02: 3 take files but no song file", "Song 05: 1 take file but no song file"}));
    // A card without problems has nothing to say.
    TempDir clean;
    WriteFile(clean / "SongNo.tx5", WithZeroAndPadding(trx5::kMachineSignature, 64));
    WriteFile(clean / "UtyPrm00.tx5", SongFile(256, {0, 0, 0, 0}));
    trx5test::MakeTake(clean.path(), 0, 3, 7, false, 1, 1);
    EXPECT_TRUE(trx5::CardFolderNotes(clean.path()).empty());
}

}  // namespace
