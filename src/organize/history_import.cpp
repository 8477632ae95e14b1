#include "organize/history_import.h"

#include <sys/stat.h>

#include "common/folder.h"
#include "organize/organize_messages.h"

namespace trx5 {

namespace {

bool SameFolder(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

Result<HistoryImport> ImportKeepingReplaced(TakeHistory& history, const ImportRequest& request,
                                            Progress& progress, const OrganizeOptions& options) {
    // The kept takes are named by the history's card folder: it must be the
    // one imported into.
    if (!SameFolder(WithTrailingSlash(request.cardDir), history.cardFolder())) {
        return Status::Fail(ErrorCode::Failed, kMsgHistoryOtherCard).WithPath(request.cardDir);
    }
    HistoryImport result;
    HistoryStep step;
    step.kind = "import";
    std::vector<std::string> ids;
    bool committing = false;
    ImportRequest hooked = request;
    hooked.beforeCommit = [&](const std::vector<std::string>& targets) -> Status {
        if (request.beforeCommit) {
            if (Status s = request.beforeCommit(targets); !s) return s;
        }
        if (options.noReplace) {
            for (const std::string& path : targets) {
                if (IsRegularFile(path)) {
                    return Status::Fail(ErrorCode::Exists, kMsgTakeOccupied).WithPath(path);
                }
            }
        }
        for (const std::string& path : targets) {
            const std::string name = LowerCase(path.substr(path.find_last_of('/') + 1));
            std::string id;
            if (IsRegularFile(path)) {
                auto kept = history.Keep(name);
                if (!kept) return kept.status();
                id = *kept;
                ids.push_back(id);
                result.kept.kept.push_back(name);
            }
            step.changes.push_back({name, id, {}});
        }
        committing = true;
        return Status::Ok();
    };
    auto imported = ImportTakes(hooked, progress);
    if (!committing || (imported && imported->takePaths.empty())) {
        history.Discard(ids);
        if (!imported) return imported.status();
        result.import = std::move(*imported);
        result.kept.kept.clear();
        return result;
    }
    // Renamed into place, or some of the takes when the renames failed part
    // way: the step lets undo bring the slots back.
    const Status recorded = history.Record(std::move(step));
    if (!imported) return imported.status();
    if (!recorded) return recorded;
    result.import = std::move(*imported);
    result.kept.notes = history.Trim(options.historyLimit);
    return result;
}

}  // namespace trx5
