// The backup layer's texts for the user: the failures of a card copy and
// the lines that say what a copy left out or left as it was.
#pragma once

#include <string>

namespace trx5 {

inline constexpr char kMsgCannotCopy[] = "The files could not be copied.";
inline constexpr char kReasonNoFilesToCopy[] = "No files to copy";

// "Not enough free space (4.0 GB needed, 3.2 GB free)" (the sizes as
// FormatByteSize writes them).
inline std::string NotEnoughSpaceText(const std::string& needed, const std::string& free) {
    return "Not enough free space (" + needed + " needed, " + free + " free)";
}

// The line for a link left out of a copy: "00-05.aud: a link, not copied".
inline std::string LinkNote(const std::string& name) { return name + ": a link, not copied"; }

// The groups of a copy as a summary names them: "song 01", "songs 01-05,
// 07", "the other files", "the machine file", joined by "and".
inline constexpr char kTextSong[] = "song ";
inline constexpr char kTextSongs[] = "songs ";
inline constexpr char kTextOtherFiles[] = "the other files";
inline constexpr char kTextTheMachineFile[] = "the machine file";
inline constexpr char kTextAnd[] = " and ";
// What became of them: "song 01 copied; songs 02, 03 left as they were".
inline constexpr char kTextCopied[] = " copied";
inline constexpr char kTextPartlyCopied[] = " partly copied";
inline constexpr char kTextLeftAsItWas[] = " left as it was";
inline constexpr char kTextLeftAsTheyWere[] = " left as they were";

}  // namespace trx5
