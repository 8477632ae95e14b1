// The texts of moving takes around the card and of the history of takes
// replaced or deleted.
#pragma once

#include <string>

namespace trx5 {

inline constexpr char kMsgHistoryFailed[] = "The history of replaced takes could not be written.";
inline constexpr char kMsgHistoryUnreadable[] = "The history of replaced takes could not be read.";
inline constexpr char kMsgHistoryBusy[] = "The history of this card is in use by another run.";
inline constexpr char kMsgUnknownKept[] = "A file of an interrupted run";
inline constexpr char kMsgNothingToUndo[] = "There is nothing to undo.";
inline constexpr char kMsgNothingToRedo[] = "There is nothing to redo.";
inline constexpr char kMsgNoKeptTake[] = "The history holds no take of that id.";
inline constexpr char kMsgNoSourceTake[] = "There is no take in that slot.";
inline constexpr char kMsgNoSong[] = "The card has no such song.";
inline constexpr char kMsgSongExists[] = "That song number is taken already.";
inline constexpr char kMsgSameSlot[] = "A take cannot be moved onto itself.";
inline constexpr char kMsgCannotPlace[] = "The take could not be put in its slot.";
inline constexpr char kMsgTakeOccupied[] = "The slot holds a take and is not to be replaced.";
inline constexpr char kMsgHistoryOtherCard[] = "The history is that of another card.";

// "The take is converted from HiFi to LONG; its quality drops."
inline std::string ConvertedText(bool fromLong, bool toLong) {
    return std::string("The take is converted from ") + (fromLong ? "LONG" : "HiFi") + " to " +
           (toLong ? "LONG" : "HiFi") +
           (toLong ? "; its quality drops." : "; it gains no quality.");
}

// "Take 2-5 of song 01 (kept 2026-12-10 19:40) dropped from the history to
// stay under 2.0 GB."
inline std::string DroppedText(const std::string& what, const std::string& when,
                               const std::string& limit) {
    return what + " (kept " + when + ") dropped from the history to stay under " + limit + ".";
}

// "Take 2-5 of song 01", "The song file of song 04".
inline std::string TakeOfSongText(const std::string& take, const std::string& song) {
    return "Take " + take + " of song " + song;
}
inline std::string SongFileText(const std::string& song) { return "The song file of song " + song; }

}  // namespace trx5
