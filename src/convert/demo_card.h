// A demo card made by the program itself: songs with synthesised takes, for
// trying the program without a recorder.
#pragma once

#include <string>

#include "common/result.h"

namespace trx5 {

// Creates `folder` (and its parents) if needed and writes a machine file, a
// HiFi and a LONG song and their takes into it. A folder that exists and is
// not empty (or a file of that name) is refused. Failures say
// kMsgDemoFailed and name the file or folder in the path.
Status MakeDemoCard(const std::string& folder);

}  // namespace trx5
