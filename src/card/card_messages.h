// The card layer's texts for the user: the failures of the card check,
// which the window shows in message boxes and trx5card prints, the songs'
// modes in the song list, and the notes on files the program leaves aside.
#pragma once

#include <string>

namespace trx5 {

inline constexpr char kMsgNoCardInfo[] = "No TRX-5 card information";
inline constexpr char kMsgInvalidCardInfo[] = "Invalid TRX-5 card information";

// The modes as the song list shows them after the number: "01 HiFi".
inline constexpr char kTextHiFi[] = "HiFi";
inline constexpr char kTextLong[] = "LONG";

// What a case twin is a twin of.
inline constexpr char kTextMachineFile[] = "machine file";
inline constexpr char kTextSongFile[] = "song file";
inline constexpr char kTextTake[] = "take";
inline constexpr char kTextFile[] = "file";

// "00-01.AUD: same take as 00-01.aud, ignored".
inline std::string CaseTwinText(const std::string& name, const char* what,
                                const std::string& chosen) {
    return name + ": same " + what + " as " + chosen + ", ignored";
}

// "00-05.aud: not a take (damaged?), kept".
inline std::string NotATakeText(const std::string& name) {
    return name + ": not a take (damaged?), kept";
}

// "Song 02: 3 take files but no song file".
inline std::string TakesWithoutSongText(const std::string& song, int count) {
    return "Song " + song + ": " + std::to_string(count) +
           (count == 1 ? " take file" : " take files") + " but no song file";
}

}  // namespace trx5
