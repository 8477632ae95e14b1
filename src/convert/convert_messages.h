// The conversion layer's texts for the user: the export's, the import's,
// the stems' and the demo card's failures and notices.
#pragma once

#include <string>

namespace trx5 {

// Export.
inline constexpr char kMsgNoTakeSelected[] = "No take is selected.";
inline constexpr char kReasonOutputIsATake[] = "the file is one of the takes being read";

// Import.
inline constexpr char kMsgImportCanceled[] = "Import canceled; takes left unchanged.";
inline constexpr char kMsgMixNeedsStereo[] = "Only a stereo file can be mixed into one take.";
inline constexpr char kReasonMono[] = "the file is mono";
// "the file has 3 channels".
inline std::string ChannelCountText(int channels) {
    return "the file has " + std::to_string(channels) + " channels";
}
// "The take needs 4.0 GB; the card has 120 MB free." (the sizes as
// FormatByteSize writes them).
inline std::string TakesNeedSpaceText(std::size_t takes, const std::string& needed,
                                      const std::string& free) {
    return (takes == 1 ? "The take needs " : "The takes need ") + needed + "; the card has " +
           free + " free.";
}
// "44100 Hz -> 32000 Hz" (the rates as the caller writes them).
inline std::string RateChangeText(const std::string& from, const std::string& to) {
    return from + " Hz -> " + to + " Hz";
}

// Stems: "No song 05 on this card".
inline std::string NoSongText(const std::string& song) {
    return "No song " + song + " on this card";
}

// The demo card: its failures name the file or folder in the path.
inline constexpr char kMsgDemoFailed[] = "The demo card could not be made.";
inline constexpr char kReasonDemoCannotCreate[] = "cannot be created";
inline constexpr char kReasonDemoCannotWrite[] = "cannot be written";
inline constexpr char kReasonDemoFolderInUse[] =
    "already exists and is not an empty folder; name a new or empty folder";
inline constexpr char kReasonDemoFolderCannotBeMade[] = "the folder cannot be created";

}  // namespace trx5
