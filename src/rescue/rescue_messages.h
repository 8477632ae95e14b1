// The texts of the rescue that a user sees.
#pragma once

namespace trx5 {

inline constexpr char kMsgCannotOpenSource[] = "Cannot open the card image or device";
inline constexpr char kMsgCannotReadSource[] = "Cannot read the card image or device";
inline constexpr char kMsgNotImageOrDevice[] = "neither a file nor a block device";

inline constexpr char kMsgRescueFolder[] = "Cannot use the folder for the rescue";
inline constexpr char kReasonFolderNotEmpty[] = "the folder is not empty";
inline constexpr char kMsgCannotWriteRescue[] = "Cannot write a rescued file";
inline constexpr char kReasonReportExists[] = "a file of that name exists";

}  // namespace trx5
