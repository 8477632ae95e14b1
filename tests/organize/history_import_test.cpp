#include "organize/history_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "convert/audio_check.h"
#include "convert/recording_progress.h"
#include "organize/organize_test_support.h"

namespace {

using trx5test::Bytes;
using Files = std::map<std::string, Bytes>;

class HistoryImportTest : public trx5test::OrganizeCard {
  protected:
    void SetUp() override {
        OrganizeCard::SetUp();
        trx5test::Samples stereo;
        for (int i = 0; i < 3000; ++i) {
            stereo.push_back(static_cast<std::int16_t>(i * 7));
            stereo.push_back(static_cast<std::int16_t>(-i * 5));
        }
        trx5test::WriteFile(source / "in.wav", trx5test::WavBytes(2, 32000, 16, stereo));
        auto opened = trx5::TakeHistory::Open(card.path());
        ASSERT_TRUE(opened.ok()) << opened.Describe();
        history.emplace(std::move(*opened));
    }

    // Song 01's take 1-2 (occupied) from the left channel, 4-1 (free) from
    // the right one.
    trx5::ImportRequest Request() const {
        trx5::ImportRequest request;
        request.sourcePath = source / "in.wav";
        request.cardDir = card.path();
        request.fileNumber = 0;
        request.first = {0, 1};
        request.second = trx5::TakeSlot{3, 0};
        return request;
    }

    trx5test::TempDir source;
    std::optional<trx5::TakeHistory> history;
};

// The take replaced is kept; undo gives back its exact bytes and removes the
// take made in a free slot, redo brings the import back.
TEST_F(HistoryImportTest, UndoGivesBackTheReplacedTakeExactly) {
    const Files before = trx5test::Snapshot(card.path());
    trx5::NoProgress progress;
    const auto result = trx5::ImportKeepingReplaced(*history, Request(), progress);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result->import.takePaths.size(), 2U);
    EXPECT_EQ(result->kept.kept, std::vector<std::string>{"00-01.aud"});
    EXPECT_TRUE(result->kept.notes.empty());
    const Files after = trx5test::Snapshot(card.path());
    EXPECT_NE(after.at("00-01.aud"), before.at("00-01.aud"));
    EXPECT_EQ(after.count("00-30.aud"), 1U);
    ASSERT_EQ(history->steps().size(), 1U);
    EXPECT_EQ(history->steps()[0].kind, "import");

    ASSERT_TRUE(history->Undo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
    ASSERT_TRUE(history->Redo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), after);
    ASSERT_TRUE(history->Undo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

// Stopped by the progress, refused, or failing before any take is renamed:
// the card as it was, no step and no kept file.
TEST_F(HistoryImportTest, AnImportThatDoesNotCommitKeepsNothing) {
    const Files before = trx5test::Snapshot(card.path());
    struct Case {
        const char* name;
        std::function<void(trx5::ImportRequest&, trx5::OrganizeOptions&)> change;
        bool cancelled;
        trx5::ErrorCode code;
    };
    const Case cases[] = {
        {"cancelled", [](auto&, auto&) {}, true, trx5::ErrorCode::None},
        {"no replace", [](auto&, auto& o) { o.noReplace = true; }, false, trx5::ErrorCode::Exists},
        {"the caller's check fails",
         [](auto& r, auto&) {
             r.beforeCommit = [](const std::vector<std::string>&) {
                 return trx5::Status::Fail(trx5::ErrorCode::Failed, "no");
             };
         },
         false, trx5::ErrorCode::Failed},
        {"not audio", [](auto& r, auto&) { r.sourcePath = r.cardDir + "SongNo.tx5"; }, false,
         trx5::ErrorCode::NotAudio},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        trx5::ImportRequest request = Request();
        trx5::OrganizeOptions options;
        c.change(request, options);
        trx5test::RecordingProgress progress(c.cancelled ? 2 : UINT64_MAX);
        const auto result = trx5::ImportKeepingReplaced(*history, request, progress, options);
        if (c.cancelled) {
            ASSERT_TRUE(result.ok()) << result.Describe();
            EXPECT_TRUE(result->import.cancelled);
            EXPECT_TRUE(result->kept.kept.empty());
        } else {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.code(), c.code) << result.Describe();
        }
        EXPECT_EQ(trx5test::Snapshot(card.path()), before);
        EXPECT_TRUE(history->steps().empty());
        EXPECT_TRUE(history->kept().empty());
        EXPECT_TRUE(trx5test::Snapshot(history->folder() + "files/").empty());
    }
}

// The second take cannot be renamed into place (a folder took its name
// meanwhile): the first is new, the step is recorded, and undo gives back
// the take it replaced.
TEST_F(HistoryImportTest, ACommitFailingPartWayIsRecordedForUndo) {
    const Files before = trx5test::Snapshot(card.path());
    trx5::ImportRequest request = Request();
    request.beforeCommit = [this](const std::vector<std::string>& targets) {
        EXPECT_EQ(targets, (std::vector<std::string>{card / "00-01.aud", card / "00-30.aud"}));
        mkdir((card / "00-30.aud").c_str(), 0755);
        return trx5::Status::Ok();
    };
    trx5::NoProgress progress;
    const auto result = trx5::ImportKeepingReplaced(*history, request, progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.path(), card / "00-30.aud");
    EXPECT_NE(trx5test::ReadFile(card / "00-01.aud"), before.at("00-01.aud"));
    ASSERT_EQ(history->steps().size(), 1U);
    ASSERT_TRUE(history->Undo());
    EXPECT_EQ(trx5test::Snapshot(card.path()), before);
}

// The history of one card cannot keep the takes of another.
TEST_F(HistoryImportTest, AnotherCardsHistoryIsRefused) {
    trx5test::TempDir other;
    trx5::ImportRequest request = Request();
    request.cardDir = other.path();
    trx5::NoProgress progress;
    const auto result = trx5::ImportKeepingReplaced(*history, request, progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), trx5::kMsgHistoryOtherCard);
    EXPECT_TRUE(trx5test::Snapshot(other.path()).empty());
}

}  // namespace
