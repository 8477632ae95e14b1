// An import into takes that keeps the takes it replaces in the card's
// history, as one step that undo takes back.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"
#include "convert/import.h"
#include "convert/progress.h"
#include "organize/take_history.h"
#include "organize/take_organizer.h"

namespace trx5 {

struct HistoryImport {
    ImportOutcome import;  // as ImportTakes returns it
    OrganizeOutcome
        kept;  // kept: the card files whose takes went into the history; notes: limit notes
};

// Imports as ImportTakes does; the takes it replaces go into the history
// first and the import is one step ("import") that undo takes back. A
// cancelled or failed import leaves no step and keeps nothing.
Result<HistoryImport> ImportKeepingReplaced(TakeHistory& history, const ImportRequest& request,
                                            Progress& progress,
                                            const OrganizeOptions& options = {});

}  // namespace trx5
