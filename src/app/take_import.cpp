#include "app/take_import.h"

#include <QCheckBox>
#include <QFileInfo>
#include <algorithm>

#include "app/app_messages.h"
#include "app/dialog_provider.h"
#include "app/get_win.h"
#include "app/operation_runner.h"
#include "app/take_organize.h"
#include "card/card_info.h"
#include "common/folder.h"
#include "controls/copendlg.h"
#include "convert/convert_messages.h"
#include "organize/history_import.h"

namespace {

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

QString CaptionText(trx5::TakeSlot slot) { return ToQString(trx5::TakeCaption(slot)); }

// An import's outcome as the runner takes it.
struct Imported {
    trx5::HistoryImport done;
    bool cancelled = false;
};

}  // namespace

TTakeImport::TTakeImport(QWidget& window, DialogProvider& dialogs, TOperationRunner& runner,
                         const trx5::SongSelection& selection,
                         std::function<void(int, const std::string&)> showTake)
    : window_(window),
      dialogs_(dialogs),
      runner_(runner),
      selection_(selection),
      showTake_(std::move(showTake)) {}

void TTakeImport::FromDialog(CustDlgs::TCOpenDialog& open, TGetWin* getWin) {
    const std::vector<trx5::TakeSlot> destinations = selection_.ImportDestinations();
    if (destinations.empty() || !ConfirmReplacingDamaged(destinations)) return;
    open.SetSubForm(getWin);
    if (getWin != nullptr) getWin->SetSong(selection_.LongMode, destinations.size() == 1);
    const QString source = dialogs_.GetOpenFileName(open);
    if (source.isEmpty()) return;
    const bool keepRate = getWin != nullptr && getWin->KeepRateBox->isChecked();
    const bool mix = getWin != nullptr && getWin->MixBox->isChecked();
    if (const auto request = selection_.Import(source.toStdString(), keepRate, mix)) {
        Run(*request);
    }
}

void TTakeImport::Dropped(int slot, const QString& path) {
    const trx5::TakeSlot take = trx5::SlotAt(slot);
    // A take that is there is replaced only when the user says so.
    if (!selection_.TakeFiles[slot].empty() &&
        !dialogs_.Confirm(&window_, app_text::ReplaceTake(CaptionText(take)),
                          app_text::QuestionCaption())) {
        return;
    }
    if (!ConfirmReplacingDamaged({take})) return;
    Run(selection_.ImportInto(slot, path.toStdString()));
}

void TTakeImport::Run(const trx5::ImportRequest& request) {
    TOperationRunner::Lines lines;
    lines.start = app_text::WritingTakes();
    lines.done = app_text::TakesGenerated();
    // A stop (also while the file was still being counted) writes nothing.
    lines.cancelled = QString::fromLatin1(trx5::kMsgImportCanceled);
    lines.failed = app_text::ImportFailed();
    // A rate that cannot be converted can still be taken as it is.
    lines.hint = [&request](const trx5::Status& failure) {
        return failure.code() == trx5::ErrorCode::CannotConvert && !request.keepRate
                   ? app_text::KeepRateHint()
                   : QString();
    };
    trx5::OrganizeOptions options;
    options.historyLimit = HistoryLimitSetting();
    const auto result = runner_.Run(lines, [&](trx5::Progress& progress) -> trx5::Result<Imported> {
        // The takes replaced go into the card's history, held for this
        // import only; undo brings them back.
        auto history = trx5::TakeHistory::Open(request.cardDir);
        if (!history) return history.status();
        auto done = trx5::ImportKeepingReplaced(*history, request, progress, options);
        if (!done) return done.status();
        const bool cancelled = done->import.cancelled;
        return Imported{std::move(*done), cancelled};
    });
    if (!result || result->cancelled) return;
    const std::vector<std::string>& kept = result->done.kept.kept;
    // The takes are in place only now that the engine has renamed them.
    for (const std::string& path : result->done.import.takePaths) {
        const std::string fileName = QFileInfo(ToQString(path)).fileName().toStdString();
        const auto slot = trx5::ParseTakeFileName(fileName, request.fileNumber);
        if (!slot) continue;
        showTake_(trx5::SlotIndex(*slot), path);
        const std::string name = trx5::TakeFileName(request.fileNumber, slot->track, slot->vtake);
        if (std::find(kept.begin(), kept.end(), name) != kept.end()) {
            runner_.AddLine(app_text::ImportedOver(CaptionText(*slot)));
        }
    }
    for (const std::string& note : result->done.kept.notes) runner_.AddLine(ToQString(note));
}

bool TTakeImport::ConfirmReplacingDamaged(const std::vector<trx5::TakeSlot>& targets) {
    for (const trx5::TakeSlot& slot : targets) {
        if (!selection_.TakeFiles[trx5::SlotIndex(slot)].empty()) continue;
        const std::string path = trx5::FindFileNoCase(
            selection_.CardDir, trx5::TakeFileName(selection_.FileNumber, slot.track, slot.vtake));
        if (path.empty()) continue;
        const QString text =
            app_text::ReplaceDamaged(QFileInfo(ToQString(path)).fileName(), CaptionText(slot));
        if (!dialogs_.Confirm(&window_, text, app_text::QuestionCaption())) return false;
    }
    return true;
}
