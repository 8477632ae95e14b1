// The program's own texts for failures that the window shows in message
// boxes and trx5card prints, shared so both say the same. Each layer keeps
// its other texts for the user in a header of its own (card_messages.h,
// audiofile_messages.h, convert_messages.h, backup_messages.h,
// cli_messages.h).
#pragma once

namespace trx5 {

inline constexpr char kMsgCannotOpen[] = "The file could not be opened.";
inline constexpr char kMsgNotAudioFile[] = "The file is not a WAV/AIFF.";
inline constexpr char kMsgCannotCreate[] = "File to write could not be opened.";
inline constexpr char kMsgCannotWrite[] = "The file could not be written.";

// Why a file to read is refused: a FIFO, socket or device.
inline constexpr char kReasonNotRegular[] = "Not a regular file";

}  // namespace trx5
