// The history of one card: the takes (and song files) that moving takes
// around replaced or deleted, kept outside the card, and the steps that can
// be undone and redone. Everything lives on disk in the card's history
// folder, so a new object on the same folder sees what an earlier run did.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/result.h"

namespace trx5 {

inline constexpr std::uint64_t kDefaultHistoryLimit = 2'000'000'000;

// One card file a step replaced or deleted: its name in the card folder
// ("01-24.aud", "UtyPrm03.tx5"), the kept file that was there before and the
// one there after (empty: no file, or the take a rename put there). While
// the step is applied the card holds the after-file and the history the
// before-file; once undone, the other way round.
struct SlotChange {
    std::string name;
    std::string before;
    std::string after;
};

// A take moved within the card by a rename, from the card file `from` to
// `to`; none of its bytes go into the history.
struct TakeRename {
    std::string from;
    std::string to;
};

// Applying a step: the files of its changes' slots go into the history
// (a slot whose take a rename moves away excepted), the renames move their
// takes, all at once and over the files just kept, and the changes' kept
// after-files take their places (a slot with none is emptied unless a rename
// filled it). Undoing it does the same with the renames turned round and
// the before-files.
struct HistoryStep {
    std::string kind;       // "copy", "move", "swap", "delete", "copy-song", "restore", "import"
    std::int64_t time = 0;  // seconds since 1970
    bool undone = false;
    std::vector<SlotChange> changes;
    std::vector<TakeRename> renames;  // a swap names both ways
};

// A file kept in the history.
struct KeptFile {
    std::string id;
    std::string name;       // its name in the card folder
    std::int64_t time = 0;  // when it was kept
    std::uint64_t size = 0;
};

// "Take 2-5 of song 01" for "00-14.aud", "The song file of song 04" for
// "UtyPrm03.tx5".
std::string DescribeCardFile(const std::string& name);
// A time of the history in local time: "2026-12-10 19:40", with seconds
// "2026-12-10 19:40:05".
std::string KeptTimeText(std::int64_t time, bool seconds = false);

class TakeHistory {
  public:
    // The history folder of the card in `cardFolder`:
    // $XDG_DATA_HOME/trx5-card-manager/history/<card id>/ ($HOME/.local/share
    // without XDG_DATA_HOME); the card id is a hex hash of the folder's
    // absolute path, the machine file's signature field (not what the
    // recorder writes after it) and the UUID of the volume the folder is on
    // (VolumeUuid), so that two cards mounted at one path differ.
    static Result<std::string> FolderFor(const std::string& cardFolder);
    // Opens (and makes) the history of that card and reads its journal. One
    // object at a time holds a card's history: another open fails with
    // "The history of this card is in use by another run." until it goes.
    static Result<TakeHistory> Open(const std::string& cardFolder);
    // The same on a given history folder.
    static Result<TakeHistory> OpenFolder(const std::string& cardFolder,
                                          const std::string& historyFolder);

    const std::string& folder() const { return folder_; }
    const std::string& cardFolder() const { return card_; }
    const std::vector<HistoryStep>& steps() const { return steps_; }
    // The files kept now, oldest first.
    const std::vector<KeptFile>& kept() const { return kept_; }
    const KeptFile* Find(const std::string& id) const;
    std::string KeptPath(const std::string& id) const;
    std::uint64_t KeptBytes() const;
    bool CanUndo() const;
    bool CanRedo() const;

    // Puts the card file `name` (which must be there) into the history
    // beside the card, which still holds it: a link where the file system
    // allows, else a copy. Returns the new id; the journal is written with
    // the next step.
    Result<std::string> Keep(const std::string& name);
    // Drops files kept for a step that is never recorded (an operation
    // cancelled or failed before it changed the card); a file that a
    // recorded step needs stays.
    void Discard(const std::vector<std::string>& ids);
    // Records a step that has been carried out, with its changes; steps
    // undone before are no longer redone (their files stay kept). The
    // journal holds the newest 1000 steps. Writes the journal.
    Status Record(HistoryStep step);
    // Carries out a new step of renames as redo would, keeping the files in
    // the way (each gets a change), and records it. On failure what was
    // done is put back and nothing is recorded.
    Status Perform(HistoryStep step);

    // Restores the before-state of the newest applied step, or `count`
    // steps. The card's files of those slots go into the history first.
    Status Undo(int count = 1);
    // Applies again the oldest undone step.
    Status Redo();

    // Drops the oldest kept files until they take at most `limit` bytes,
    // with the steps that need them; a note for each file dropped.
    std::vector<std::string> Trim(std::uint64_t limit);

    // Writes the journal (atomically: a temporary file renamed over it).
    Status Save() const;

  private:
    Status Load();
    void FindUnlisted();
    Status Apply(HistoryStep& step, bool forward);
    std::string NewId();
    void Forget(const std::string& id);

    std::string card_;    // ends with "/"
    std::string folder_;  // ends with "/"
    std::uint64_t next_ = 1;
    std::vector<HistoryStep> steps_;
    std::vector<KeptFile> kept_;
    std::shared_ptr<int> lock_;  // the history's lock, held while the object lives
};

// The name of the link in `links` (the system's folder of links named by
// the volumes' UUIDs) whose device is `device` (a folder's st_dev); empty
// when none is.
std::string VolumeUuid(std::uint64_t device, const std::string& links = "/dev/disk/by-uuid/");

// Copies the bytes of `source` into the new temporary file `temp` in
// `folder` (named after `name`), at the file system's speed, flushed and
// ready to be renamed.
Status CopyToTemp(const std::string& source, const std::string& folder, const std::string& name,
                  TempFile& temp);

// Puts the file at `source` into the card folder under `name`, replacing
// what is there at once: a link or copy under a temporary name, renamed
// into place.
Status PlaceFile(const std::string& source, const std::string& cardFolder, const std::string& name);

// Moves the card's files by `renames`, all at once: two takes that change
// places are exchanged in one step where the file system can; else one is
// parked under a hidden name first (a swap then takes three renames). A file at a target that no
// rename moves away is replaced; the caller keeps it first. A rename whose source is missing is
// left out; `done` (when given) gets those carried out. A failure renames
// back what was renamed, so that every take is where it was.
Status RenameTakes(const std::string& cardFolder, const std::vector<TakeRename>& renames,
                   std::vector<TakeRename>* done = nullptr);

// Finishes or takes back a swap that a killed run left half-way: a parked
// take goes back to its slot when that is still empty, else on to the slot
// it was going to. Never over a file.
void RecoverParkedTakes(const std::string& cardFolder);

}  // namespace trx5
