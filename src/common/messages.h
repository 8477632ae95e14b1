// The program's own texts for failures that the window shows in message
// boxes and trx5card prints, shared so both say the same.
#pragma once

namespace trx5 {

inline constexpr char kMsgCannotOpen[] = "The file could not be opened.";
inline constexpr char kMsgNotAudioFile[] = "The file is not a WAV/AIFF.";
inline constexpr char kMsgCannotCreate[] = "File to write could not be opened.";
inline constexpr char kMsgCannotWrite[] = "The file could not be written.";
inline constexpr char kMsgImportCanceled[] = "Import canceled; takes left unchanged.";
inline constexpr char kMsgMixNeedsStereo[] = "Only a stereo file can be mixed into one take.";

}  // namespace trx5
