#include "backup/card_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/folder.h"
#include "support/test_support.h"

namespace {

using trx5::CopyRequest;
using trx5test::Bytes;
using trx5test::ReadFile;
using trx5test::TempDir;
using trx5test::WriteFile;

constexpr std::uint64_t kMiB = 1 << 20;

Bytes Noise(std::size_t size, std::uint32_t seed) {
    Bytes b(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& v : b) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(x >> 24);
    }
    return b;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

// Every entry with its bytes (empty for anything but a regular file).
std::map<std::string, Bytes> Contents(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const std::string& name : Listing(folder)) {
        struct stat st {};
        const bool regular = lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        files[name] = regular ? ReadFile(folder + name) : Bytes{};
    }
    return files;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

CopyRequest Request(const std::string& source, const std::string& destination,
                    std::vector<std::string> patterns = {"*.tx5", "*.aud"}) {
    return CopyRequest{source, std::move(patterns), destination};
}

CopyRequest MustExist(CopyRequest request) {
    request.createDestination = false;
    return request;
}

struct StepCall {
    std::uint64_t done, total;
    std::string name;
};

class Recording final : public trx5::CopyProgress {
  public:
    bool Step(std::uint64_t done, std::uint64_t total, const std::string& name) override {
        calls.push_back({done, total, name});
        return true;
    }
    std::vector<StepCall> calls;
};

TEST(CardCopy, CopiesMatchingRegularFilesSongBySong) {
    TempDir src, dst;
    trx5test::MakeMachineFile(src.path());
    trx5test::MakeSongFile(src.path(), 0, false);
    trx5test::MakeTake(src.path(), 0, 0, 1, false, 3, 1);
    WriteFile(src / "00-02.AUD", Noise(3000, 2));
    WriteFile(src / "00-04.aud", Bytes{});
    WriteFile(src / "01-00.aud", Noise(700, 3));  // a take of song 02 without its song file
    WriteFile(src / "demo.aud", Noise(500, 4));   // a file of no song
    WriteFile(src / "notes.txt", "not a card file");
    // Left out: a folder, a FIFO, and links of every kind, a link to a
    // regular file too.
    ASSERT_EQ(mkdir((src / "sub.aud").c_str(), 0755), 0);
    WriteFile(src / "sub.aud/00-03.aud", Noise(100, 3));
    ASSERT_EQ(mkfifo((src / "fifo.aud").c_str(), 0644), 0);
    ASSERT_EQ(symlink("sub.aud", (src / "dirlink.aud").c_str()), 0);
    ASSERT_EQ(symlink("missing", (src / "gone.aud").c_str()), 0);
    ASSERT_EQ(symlink("00-02.AUD", (src / "alias.aud").c_str()), 0);
    // Song by song (each song's file and takes), then the files of no song,
    // the machine file last.
    const std::vector<std::string> copied = {"00-01.aud", "00-02.AUD", "00-04.aud", "UtyPrm00.tx5",
                                             "01-00.aud", "demo.aud",  "SongNo.tx5"};
    const timespec past[2] = {{1000000000, 0}, {1000000000, 500}};
    std::uint64_t total = 0;
    for (const std::string& name : copied) {
        ASSERT_EQ(utimensat(AT_FDCWD, (src / name).c_str(), past, 0), 0);
        total += ReadFile(src / name).size();
    }

    // The destination is made with its parents; "00-0?.*" matches files the
    // other patterns match too.
    const std::string backup = dst / "backups/2024/card";
    Recording progress;
    alarm(20);  // a hang on the FIFO fails the test instead of blocking the run
    const auto result =
        trx5::CopyFiles(Request(src.path(), backup, {"*.tx5", "*.aud", "00-0?.*"}), progress);
    alarm(0);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_FALSE(result->cancelled);
    EXPECT_EQ(result->filesCopied, copied.size());
    EXPECT_EQ(result->filesSkipped, 0u);
    EXPECT_EQ(result->bytesCopied, total);
    EXPECT_EQ(result->notes, (std::vector<std::string>{"alias.aud: a link, not copied",
                                                       "dirlink.aud: a link, not copied",
                                                       "gone.aud: a link, not copied"}));
    EXPECT_EQ(result->summary, "");
    EXPECT_EQ(Listing(backup), std::set<std::string>(copied.begin(), copied.end()));
    for (const std::string& name : copied) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFile(backup + "/" + name), ReadFile(src / name));
        struct stat st {};
        ASSERT_EQ(lstat((backup + "/" + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mtim.tv_sec, past[1].tv_sec);
        EXPECT_EQ(st.st_mtim.tv_nsec, past[1].tv_nsec);
    }

    // One call per file here (all are below a chunk), in copy order, each
    // with the bytes of the files before it.
    ASSERT_EQ(progress.calls.size(), copied.size());
    std::uint64_t before = 0;
    for (std::size_t i = 0; i < copied.size(); ++i) {
        EXPECT_EQ(progress.calls[i].name, copied[i]);
        EXPECT_EQ(progress.calls[i].done, before);
        EXPECT_EQ(progress.calls[i].total, total);
        before += ReadFile(src / copied[i]).size();
    }
}

// No link is followed: one among the sources is left out (a backup of a card
// holding a link to a secret must not copy the secret), one at the
// destination is replaced by the copy, not written through.
TEST(CardCopy, LinksAreNeverFollowed) {
    TempDir src, dst, outside;
    WriteFile(outside / "secret", "not for the card");
    WriteFile(outside / "victim", "must stay");
    WriteFile(src / "00-00.aud", Noise(2000, 1));
    WriteFile(src / "00-01.aud", Noise(2000, 2));
    ASSERT_EQ(symlink((outside / "secret").c_str(), (src / "00-05.aud").c_str()), 0);
    ASSERT_EQ(symlink((outside / "victim").c_str(), (dst / "00-00.aud").c_str()), 0);
    ASSERT_EQ(symlink((outside / "victim").c_str(), (dst / "00-01.AUD").c_str()), 0);

    trx5::NoCopyProgress progress;
    const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), progress);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result->notes, std::vector<std::string>{"00-05.aud: a link, not copied"});
    EXPECT_EQ(Contents(dst.path()), (std::map<std::string, Bytes>{{"00-00.aud", Noise(2000, 1)},
                                                                  {"00-01.AUD", Noise(2000, 2)}}));
    for (const char* name : {"00-00.aud", "00-01.AUD"}) {
        struct stat st {};
        ASSERT_EQ(lstat((dst / name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
    }
    EXPECT_EQ(Contents(outside.path()),
              (std::map<std::string, Bytes>{{"secret", Text("not for the card")},
                                            {"victim", Text("must stay")}}));
}

TEST(CardCopy, ReplacesFilesAndLeavesOthersAlone) {
    TempDir src, dst;
    const std::map<std::string, unsigned> sources = {
        {"00-00.aud", 0640}, {"00-01.aud", 0604}, {"00-02.AUD", 0644}, {"SongNo.tx5", 0600}};
    std::uint32_t seed = 10;
    for (const auto& [name, mode] : sources) {
        WriteFile(src / name, Noise(5000, seed++));
        ASSERT_EQ(chmod((src / name).c_str(), mode), 0);
    }
    WriteFile(dst / "00-00.aud", Noise(9000, 1));
    ASSERT_EQ(chmod((dst / "00-00.aud").c_str(), 0600), 0);
    WriteFile(dst / "00-02.aud", Noise(7000, 2));  // the same take in lower case
    ASSERT_EQ(chmod((dst / "00-02.aud").c_str(), 0660), 0);
    WriteFile(dst / "00-09.aud", Noise(100, 3));
    WriteFile(dst / "notes.txt", "mine");
    WriteFile(dst / ".trx5tmp-00-00.aud-Ab12Cd", Noise(100, 4));  // left by a killed run

    trx5::NoCopyProgress progress;
    const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), progress);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result->filesCopied, 4u);
    EXPECT_EQ(Listing(dst.path()), (std::set<std::string>{"00-00.aud", "00-01.aud", "00-02.aud",
                                                          "00-09.aud", "SongNo.tx5", "notes.txt"}));
    EXPECT_EQ(ReadFile(dst / "00-00.aud"), ReadFile(src / "00-00.aud"));
    EXPECT_EQ(ReadFile(dst / "00-01.aud"), ReadFile(src / "00-01.aud"));
    EXPECT_EQ(ReadFile(dst / "00-02.aud"), ReadFile(src / "00-02.AUD"));
    EXPECT_EQ(ReadFile(dst / "00-09.aud"), Noise(100, 3));
    EXPECT_EQ(Mode(dst / "00-00.aud"), 0600u);  // replaced: keeps its own
    EXPECT_EQ(Mode(dst / "00-02.aud"), 0660u);
    EXPECT_EQ(Mode(dst / "00-01.aud"), 0604u);  // new: the source's
    EXPECT_EQ(Mode(dst / "SongNo.tx5"), 0600u);
}

// However many files of no song a folder holds, the copy keeps one open at a
// time: they take their names one by one, only a song's files wait for each
// other.
TEST(CardCopy, ManyFilesOfNoSongAreCopied) {
    TempDir src, dst;
    WriteFile(src / "UtyPrm00.tx5", Noise(300, 1));
    for (int i = 0; i < 300; ++i) WriteFile(src / ("stray" + std::to_string(i) + ".aud"), "x");
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit few = before;
    few.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    trx5::NoCopyProgress progress;
    const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), progress);
    setrlimit(RLIMIT_NOFILE, &before);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result->filesCopied, 301u);
    EXPECT_EQ(Listing(dst.path()).size(), 301u);
}

// Names that differ only in case stand for one file, the first in byte
// order: only that one of the sources is copied (the others get a note), and
// it replaces the destination's first of the spellings, so that what the
// folder's listing shows afterwards is the copy.
TEST(CardCopy, CaseTwinsCopyTheFirstOntoTheFirst) {
    struct Case {
        const char* what;
        std::map<std::string, Bytes> source, destination, expected;
        std::vector<std::string> notes;
    };
    const Bytes a = Noise(100, 1), b = Noise(100, 2), old = Noise(100, 3), other = Noise(100, 4);
    const Case cases[] = {
        {"twins in the source",
         {{"00-03.aud", b}, {"00-03.AUD", a}},
         {},
         {{"00-03.AUD", a}},
         {"00-03.aud: same take as 00-03.AUD, ignored"}},
        {"another spelling at the destination",
         {{"00-03.aud", b}},
         {{"00-03.AUD", old}},
         {{"00-03.AUD", b}},
         {}},
        {"twins on both sides",
         {{"00-03.AUD", a}, {"00-03.aud", b}},
         {{"00-03.aud", other}, {"00-03.Aud", old}},
         {{"00-03.Aud", a}, {"00-03.aud", other}},
         {"00-03.aud: same take as 00-03.AUD, ignored"}},
        {"machine and song files",
         {{"SongNo.tx5", a}, {"SONGNO.TX5", b}, {"utyprm00.tx5", a}, {"UTYPRM00.TX5", b}},
         {{"songno.tx5", old}},
         {{"songno.tx5", b}, {"UTYPRM00.TX5", b}},
         {"SongNo.tx5: same machine file as SONGNO.TX5, ignored",
          "utyprm00.tx5: same song file as UTYPRM00.TX5, ignored"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir src, dst;
        for (const auto& [name, bytes] : c.source) WriteFile(src / name, bytes);
        for (const auto& [name, bytes] : c.destination) WriteFile(dst / name, bytes);
        trx5::NoCopyProgress progress;
        const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_EQ(result->notes, c.notes);
        EXPECT_EQ(Contents(dst.path()), c.expected);
        for (const auto& [name, bytes] : c.source) {
            if (trx5::FindFileNoCase(src.path(), name) != src / name) continue;
            EXPECT_EQ(ReadFile(trx5::FindFileNoCase(dst.path(), name)), bytes) << name;
        }
    }
}

// A cancel in the middle of the second take of song 02, a large one: song 01 is complete,
// both files of song 02 are as they were, and at no time is a file under a
// real name anything but its old or its new bytes, nor a song part old and
// part new.
TEST(CardCopy, CancelInALargeFile) {
    TempDir src, dst;
    const std::map<std::string, Bytes> sources = {{"00-00.aud", Noise(300000, 1)},
                                                  {"01-00.aud", Noise(100000, 2)},
                                                  {"01-01.aud", Noise(8 * kMiB, 3)}};
    for (const auto& [name, bytes] : sources) WriteFile(src / name, bytes);
    const std::map<std::string, Bytes> old = {{"01-00.aud", Noise(50000, 4)},
                                              {"01-01.aud", Noise(60000, 5)}};
    for (const auto& [name, bytes] : old) WriteFile(dst / name, bytes);

    class Watch final : public trx5::CopyProgress {
      public:
        Watch(const TempDir& dst, const std::map<std::string, Bytes>& sources,
              const std::map<std::string, Bytes>& old)
            : dst_(dst), sources_(sources), old_(old) {}
        bool Step(std::uint64_t done, std::uint64_t, const std::string& name) override {
            if (cancelled) ++callsAfterCancel;
            if (done > last + kMiB) ++biggerThanAChunk;
            last = done;
            std::map<std::string, bool> isNew;
            for (const auto& [file, bytes] : Contents(dst_.path())) {
                if (file.rfind(".trx5tmp-", 0) == 0) continue;
                const auto o = old_.find(file);
                isNew[file] = bytes == sources_.at(file);
                if (!isNew[file] && (o == old_.end() || bytes != o->second)) ++halfWritten;
            }
            if (isNew["01-00.aud"] != isNew["01-01.aud"]) ++mixedSong;
            cancelled = cancelAt != 0 && name == "01-01.aud" && done >= cancelAt;
            return !cancelled;
        }
        std::uint64_t cancelAt = 0;
        std::uint64_t last = 0;
        bool cancelled = false;
        int callsAfterCancel = 0;
        int biggerThanAChunk = 0;
        int halfWritten = 0;
        int mixedSong = 0;

      private:
        const TempDir& dst_;
        const std::map<std::string, Bytes>& sources_;
        const std::map<std::string, Bytes>& old_;
    };

    Watch watch(dst, sources, old);
    watch.cancelAt = 400000 + 4 * kMiB;
    const auto cancelled = trx5::CopyFiles(Request(src.path(), dst.path()), watch);
    ASSERT_TRUE(cancelled.ok()) << cancelled.Describe();
    EXPECT_TRUE(cancelled->cancelled);
    EXPECT_TRUE(watch.cancelled);
    EXPECT_EQ(watch.callsAfterCancel, 0);
    EXPECT_EQ(watch.last, 400000 + 4 * kMiB);
    EXPECT_EQ(cancelled->filesCopied, 1u);
    EXPECT_EQ(cancelled->bytesCopied, 300000u);
    EXPECT_EQ(cancelled->summary, "song 01 copied; song 02 left as it was");
    EXPECT_EQ(Contents(dst.path()),
              (std::map<std::string, Bytes>{{"00-00.aud", sources.at("00-00.aud")},
                                            {"01-00.aud", old.at("01-00.aud")},
                                            {"01-01.aud", old.at("01-01.aud")}}));

    // Run again to the end.
    watch.cancelAt = 0;
    watch.last = 0;
    watch.cancelled = false;
    const auto complete = trx5::CopyFiles(Request(src.path(), dst.path()), watch);
    ASSERT_TRUE(complete.ok()) << complete.Describe();
    EXPECT_FALSE(complete->cancelled);
    EXPECT_EQ(complete->filesCopied, 3u);
    EXPECT_EQ(Contents(dst.path()), sources);
    EXPECT_EQ(watch.biggerThanAChunk, 0);
    EXPECT_EQ(watch.halfWritten, 0);
    EXPECT_EQ(watch.mixedSong, 0);
}

// What a failure part way (in song 02's large second take) must leave: song 01
// complete, song 02 wholly as it was, nothing of the songs and files after
// it, no temporary file; and a message that says so.
class CopyFailure : public testing::Test {
  protected:
    void SetUp() override {
        WriteFile(src / "00-00.aud", Noise(64000, 1));
        WriteFile(src / "01-00.aud", Noise(64000, 2));
        WriteFile(src / "01-01.aud", Noise(2 * kMiB, 3));
        WriteFile(src / "UtyPrm01.tx5", Noise(600, 3));
        for (const char* name : {"02-00.aud", "03-00.aud", "04-00.aud", "05-00.aud", "07-00.aud",
                                 "demo.aud", "SongNo.tx5"}) {
            WriteFile(src / name, Noise(1000, 4));
        }
    }
    void Prepare(const std::string& destination) {
        WriteFile(destination + "/01-00.aud", Noise(10000, 5));
        WriteFile(destination + "/01-01.aud", Noise(10000, 6));
        WriteFile(destination + "/UtyPrm01.tx5", Noise(600, 7));
    }
    void ExpectAftermath(const std::string& destination) {
        EXPECT_EQ(Contents(destination + "/"),
                  (std::map<std::string, Bytes>{{"00-00.aud", Noise(64000, 1)},
                                                {"01-00.aud", Noise(10000, 5)},
                                                {"01-01.aud", Noise(10000, 6)},
                                                {"UtyPrm01.tx5", Noise(600, 7)}}));
    }
    static constexpr char kSummary[] =
        "song 01 copied; songs 02-06, 08, the other files and the machine file left as they "
        "were";
    TempDir src, dst;
};

TEST_F(CopyFailure, FileSizeLimit) {
    Prepare(dst.path());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kMiB, kMiB};
        setrlimit(RLIMIT_FSIZE, &limit);
        trx5::NoCopyProgress quiet;
        const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), quiet);
        _exit(!result.ok() && result.FileAndReason() ==
                                  std::string("01-01.aud: File too large; ") + kSummary
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported as expected";
    ExpectAftermath(dst.path());
}

// A real disk that fills up while the copy runs (another program writes to
// it once song 02's large take has begun): a small tmpfs, which needs root
// to mount.
TEST_F(CopyFailure, FullDisk) {
    const std::string mount = dst / "small";
    ASSERT_EQ(mkdir(mount.c_str(), 0755), 0);
    if (::mount("trx5test", mount.c_str(), "tmpfs", 0, "size=4m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{mount};
    Prepare(mount);

    class FillUp final : public trx5::CopyProgress {
      public:
        explicit FillUp(std::string path) : path_(std::move(path)) {}
        bool Step(std::uint64_t, std::uint64_t, const std::string& name) override {
            if (name == "01-01.aud" && !filled) {
                const Bytes block(4096, 1);
                std::FILE* f = std::fopen(path_.c_str(), "wb");
                while (f != nullptr &&
                       std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
                }
                if (f != nullptr) std::fclose(f);
                filled = true;
            }
            return true;
        }
        bool filled = false;

      private:
        std::string path_;
    } fillUp(mount + "/filler");
    const auto result = trx5::CopyFiles(Request(src.path(), mount), fillUp);
    ASSERT_TRUE(fillUp.filled);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.path(), "01-01.aud");
    EXPECT_EQ(result.reason(), std::string("No space left on device; ") + kSummary);
    EXPECT_EQ(result.code(), trx5::ErrorCode::CannotWrite);
    ASSERT_EQ(std::remove((mount + "/filler").c_str()), 0);
    ExpectAftermath(mount);
}

// Run in a child process that, when the tests run as root (whom permission
// bits do not stop), gives up its rights first.
TEST_F(CopyFailure, ReadOnlyDestination) {
    const std::string readOnly = dst / "ro";
    ASSERT_EQ(mkdir(readOnly.c_str(), 0555), 0);
    for (const std::string& path : {src.path(), dst.path()})
        ASSERT_EQ(chmod(path.c_str(), 0755), 0);
    for (const std::string& name : Listing(src.path())) {
        ASSERT_EQ(chmod((src / name).c_str(), 0644), 0);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
        if (access(readOnly.c_str(), W_OK) == 0) _exit(77);
        const std::pair<std::string, std::string> cases[] = {
            {readOnly,
             "00-00.aud: Permission denied; songs 01-06, 08, the other files and the machine "
             "file left as they were"},
            {readOnly + "/new/folder", readOnly + "/new/folder: Permission denied"},
        };
        int failed = 0;
        for (const auto& [destination, expected] : cases) {
            trx5::NoCopyProgress quiet;
            const auto result = trx5::CopyFiles(Request(src.path(), destination), quiet);
            failed += result.ok() || result.FileAndReason() != expected;
        }
        _exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failures not reported as expected";
    EXPECT_TRUE(Listing(readOnly).empty());
}

TEST(CardCopy, FailuresNameTheFolderOrTheFile) {
    TempDir work;
    using trx5::ErrorCode;
    struct Case {
        const char* what;
        std::function<void()> setUp;
        CopyRequest request;
        std::string path;
        const char* reason;
        ErrorCode code;
    };
    const std::string card = work / "card";
    const std::string empty = work / "empty";
    const Case cases[] = {
        {"missing source", [] {}, Request(work / "none", work / "out"), work / "none",
         "No such file or directory", ErrorCode::CannotOpen},
        {"nothing matches",
         [&] {
             ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
             ASSERT_EQ(mkdir((empty + "/x.aud").c_str(), 0755), 0);
             ASSERT_EQ(mkfifo((empty + "/f.aud").c_str(), 0644), 0);
             WriteFile(empty + "/notes.txt", "x");
         },
         Request(empty, work / "out"), empty, trx5::kReasonNoFilesToCopy, ErrorCode::Failed},
        {"destination is a file", [&] { WriteFile(work / "file", "x"); },
         Request(card, work / "file/sub"), work / "file/sub", "Not a directory",
         ErrorCode::CannotCreate},
        {"a folder has a file's name",
         [&] { ASSERT_EQ(mkdir((work / "out2/00-01.aud").c_str(), 0755), 0); },
         Request(card, work / "out2"), "00-01.aud", "Is a directory", ErrorCode::CannotCreate},
        // A card taken out is not replaced by a new folder of its name.
        {"destination must be there", [] {}, MustExist(Request(card, work / "gone")), work / "gone",
         "No such file or directory", ErrorCode::CannotCreate},
    };
    ASSERT_EQ(mkdir(card.c_str(), 0755), 0);
    WriteFile(card + "/00-00.aud", Noise(100, 1));
    WriteFile(card + "/00-01.aud", Noise(100, 2));
    ASSERT_EQ(mkdir((work / "out2").c_str(), 0755), 0);
    alarm(20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.setUp();
        trx5::NoCopyProgress progress;
        const auto result = trx5::CopyFiles(c.request, progress);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.path(), c.path);
        EXPECT_EQ(result.reason(), c.reason);
        EXPECT_EQ(result.code(), c.code);
        EXPECT_EQ(result.message(), trx5::kMsgCannotCopy);
    }
    alarm(0);
    EXPECT_FALSE(trx5test::FileExists(work / "out"));  // nothing made before the source is known
    EXPECT_FALSE(trx5test::FileExists(work / "gone"));
    // The folder in the way is found before anything is written.
    EXPECT_EQ(Listing(work / "out2"), (std::set<std::string>{"00-01.aud"}));
}

// A rename that fails after others of its song were made (a folder put in
// the way while the song was written) leaves that song part new: the
// message must say so rather than call it copied or left as it was.
TEST(CardCopy, ARenameThatFailsPartWayThroughASongIsNamed) {
    TempDir src, dst;
    for (const char* name : {"00-00.aud", "00-01.aud", "00-02.aud", "01-00.aud", "SongNo.tx5"}) {
        WriteFile(src / name, Noise(100, 1));
    }
    class InTheWay final : public trx5::CopyProgress {
      public:
        explicit InTheWay(std::string folder) : folder_(std::move(folder)) {}
        bool Step(std::uint64_t, std::uint64_t, const std::string& name) override {
            if (name == "00-02.aud") mkdir(folder_.c_str(), 0755);
            return true;
        }

      private:
        std::string folder_;
    } inTheWay(dst / "00-01.aud");
    const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), inTheWay);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.FileAndReason(),
              "00-01.aud: Is a directory; song 01 partly copied; song 02 and the machine file "
              "left as they were");
    EXPECT_EQ(Listing(dst.path()), (std::set<std::string>{"00-00.aud", "00-01.aud"}));
}

// Copying a folder onto itself, however it is spelt, must leave every file
// as it was; so must a destination whose files are links to the sources,
// which are replaced by copies.
TEST(CardCopy, OntoItself) {
    TempDir work;
    const std::string card = work / "card/";
    ASSERT_EQ(mkdir(card.c_str(), 0755), 0);
    trx5test::MakeMachineFile(card);
    trx5test::MakeSongFile(card, 0, true);
    trx5test::MakeTake(card, 0, 2, 3, true, 40, 5);
    WriteFile(card + "00-31.AUD", Noise(3 * kMiB + 7, 6));
    ASSERT_EQ(symlink(card.c_str(), (work / "link").c_str()), 0);
    ASSERT_EQ(mkdir((work / "hardlinks").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((work / "symlinks").c_str(), 0755), 0);
    for (const std::string& name : Listing(card)) {
        ASSERT_EQ(link((card + name).c_str(), (work / "hardlinks/" + name).c_str()), 0);
        ASSERT_EQ(symlink((card + name).c_str(), (work / "symlinks/" + name).c_str()), 0);
    }
    const auto before = Contents(card);
    const std::pair<const char*, std::string> cases[] = {
        {"same folder", card},
        {"another spelling", work / "card/../card/./"},
        {"without trailing slash", work / "card"},
        {"through a link to the folder", work / "link"},
        {"files linked to the sources", work / "hardlinks"},
    };
    for (const auto& [what, destination] : cases) {
        SCOPED_TRACE(what);
        trx5::NoCopyProgress progress;
        const auto result = trx5::CopyFiles(Request(card, destination), progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_EQ(result->filesCopied, 0u);
        EXPECT_EQ(result->filesSkipped, before.size());
        EXPECT_EQ(Contents(card), before);
    }
    EXPECT_EQ(Listing(work / "hardlinks"), Listing(card));

    trx5::NoCopyProgress progress;
    const auto result = trx5::CopyFiles(Request(card, work / "symlinks"), progress);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result->filesCopied, before.size());
    EXPECT_EQ(Contents(card), before);
    EXPECT_EQ(Contents(work / "symlinks/"), before);
    for (const auto& [name, bytes] : before) {
        struct stat st {};
        ASSERT_EQ(lstat((work / "symlinks/" + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
    }
}

// Before anything is written the space is checked: the files a song
// replaces give their space back once the song is copied, but not before, as
// its new files are written beside them. When it falls short the copy is
// refused naming both sizes, and nothing changes. On a tmpfs of 256 pages of
// 4 KiB (needs root to mount) holding an old take of 98 pages.
TEST(CardCopy, SpaceIsCheckedBeforeAnythingIsWritten) {
    TempDir work;
    const std::string mount = work / "small";
    ASSERT_EQ(mkdir(mount.c_str(), 0755), 0);
    if (::mount("trx5test", mount.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{mount};
    const std::string refused = mount + ": Not enough free space (";
    struct Case {
        const char* what;
        std::map<std::string, std::size_t> sources;
        std::string failure;  // none when it fits
    };
    const Case cases[] = {
        {"song 01 replaced, then song 02", {{"00-00.aud", 600000}, {"01-00.aud", 400000}}, ""},
        {"song 01's new take beside its old one",
         {{"00-00.aud", 700000}},
         refused + "700 kB needed, 647 kB free)"},
        {"song 02 larger than the space song 01 gives back",
         {{"00-00.aud", 300000}, {"01-00.aud", 750000}},
         refused + "655 kB needed, 647 kB free)"},
    };
    std::uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : Listing(mount + "/")) {
            ASSERT_EQ(std::remove((mount + "/" + name).c_str()), 0);
        }
        const std::map<std::string, Bytes> old = {{"00-00.aud", Noise(400000, seed++)}};
        WriteFile(mount + "/00-00.aud", old.at("00-00.aud"));
        TempDir src;
        std::map<std::string, Bytes> sources;
        for (const auto& [name, size] : c.sources) {
            sources[name] = Noise(size, seed++);
            WriteFile(src / name, sources[name]);
        }
        trx5::NoCopyProgress progress;
        const auto result = trx5::CopyFiles(Request(src.path(), mount), progress);
        if (c.failure.empty()) {
            ASSERT_TRUE(result.ok()) << result.Describe();
            EXPECT_EQ(Contents(mount + "/"), sources);
        } else {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.FileAndReason(), c.failure);
            EXPECT_EQ(result.code(), trx5::ErrorCode::NoSpace);
            EXPECT_EQ(Contents(mount + "/"), old);
        }
    }
}

}  // namespace
