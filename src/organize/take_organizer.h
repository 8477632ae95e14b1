// Takes moved around the card without loss: copied, moved, swapped and
// deleted within a song or between songs, a song copied whole, a kept take
// put back. Every file an operation replaces or deletes goes into the card's
// TakeHistory first, and each operation is one step there that can be
// undone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card/take_file.h"
#include "common/file_io.h"
#include "common/result.h"
#include "organize/organize_messages.h"
#include "organize/take_history.h"

namespace trx5 {

// A take's place on the card: the song's file number (0..99) and the slot.
struct TakePlace {
    int fileNumber = 0;
    TakeSlot slot;
};

struct OrganizeOptions {
    // A take in the way fails the operation (ErrorCode::Exists, its path)
    // instead of going into the history.
    bool noReplace = false;
    // What the history may keep; older files beyond it are dropped.
    std::uint64_t historyLimit = kDefaultHistoryLimit;
};

struct OrganizeOutcome {
    // The card files whose former contents went into the history because
    // they were replaced or deleted ("00-14.aud").
    std::vector<std::string> kept;
    // A take copied between a HiFi and a LONG song is decoded, converted to
    // the other rate and coded again: it loses quality.
    bool converted = false;
    bool fromLong = false;
    bool toLong = false;
    // A line for each file dropped from the history to stay under its limit.
    std::vector<std::string> notes;
};

// Copies the take's bytes to `to`; the song modes differing, the take is
// converted as the import converts a file's rate.
Result<OrganizeOutcome> CopyTake(TakeHistory& history, TakePlace from, TakePlace to,
                                 const OrganizeOptions& options = {});
// Moves the take to `to`: within one mode a rename, which undo turns round,
// only a take it replaces going into the history; between modes a
// conversion.
Result<OrganizeOutcome> MoveTake(TakeHistory& history, TakePlace from, TakePlace to,
                                 const OrganizeOptions& options = {});
// Exchanges two slots (either may be empty): within one mode by renames,
// keeping nothing; between modes both converted.
Result<OrganizeOutcome> SwapTakes(TakeHistory& history, TakePlace a, TakePlace b,
                                  const OrganizeOptions& options = {});
// Deletes the takes (each into the history).
Result<OrganizeOutcome> DeleteTakes(TakeHistory& history, const std::vector<TakePlace>& takes,
                                    const OrganizeOptions& options = {});
// Copies song `fileNumber`'s song file and all its takes to the free song
// number `newFileNumber`.
Result<OrganizeOutcome> CopySong(TakeHistory& history, int fileNumber, int newFileNumber,
                                 const OrganizeOptions& options = {});
// Puts a copy of the kept take `id` into `to`; the history keeps it.
Result<OrganizeOutcome> RestoreTake(TakeHistory& history, const std::string& id, TakePlace to,
                                    const OrganizeOptions& options = {});

// Codes the take at `source` (of a song in mode `fromLong`) again for a
// song in mode `toLong`, its rate converted as the import converts, into
// the open temporary file `out`, flushed.
Status WriteConvertedTake(const std::string& source, bool fromLong, bool toLong, TempFile& out);

}  // namespace trx5
