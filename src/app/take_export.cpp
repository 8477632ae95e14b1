#include "app/take_export.h"

#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "app/app_messages.h"
#include "app/dialog_provider.h"
#include "app/operation_runner.h"
#include "common/messages.h"
#include "convert/stems.h"

namespace {

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TTakeExport::TTakeExport(QWidget& window, DialogProvider& dialogs, TOperationRunner& runner,
                         const trx5::SongSelection& selection)
    : window_(window), dialogs_(dialogs), runner_(runner), selection_(selection) {}

TTakeExport::~TTakeExport() = default;

void TTakeExport::Mix(const trx5::KnobPositions& knobs) {
    const std::optional<SaveChoice> choice = dialogs_.GetSaveFileName(&window_);
    if (!choice) return;
    const trx5::ExportFormat filter = choice->flacFilter   ? trx5::ExportFormat::Flac
                                      : choice->aiffFilter ? trx5::ExportFormat::Aiff
                                                           : trx5::ExportFormat::Wav;
    Run(selection_.Export(knobs, choice->fileName.toStdString(), filter));
}

void TTakeExport::Run(const trx5::ExportRequest& request) {
    const QString name = ToQString(request.outputPath);
    TOperationRunner::Lines lines;
    lines.start = app_text::Creating(name);
    lines.done = app_text::Created(name);
    lines.cancelled = app_text::CreatedUntilAbort(name);
    lines.failed = app_text::ExportFailed();
    (void)runner_.Run(
        lines, [&](trx5::Progress& progress) { return trx5::ExportTakes(request, progress); });
}

void TTakeExport::SongTakes() {
    const QString folder = dialogs_.GetFolder(&window_, app_text::ExportAllTitle());
    if (folder.isEmpty()) return;
    trx5::StemsRequest request = selection_.Stems(folder.toStdString());
    const std::size_t existing = trx5::StemsExistingFiles(request).size();
    if (existing > 0 && !ConfirmReplace(existing, folder)) return;
    request.replaceExisting = true;
    TOperationRunner::Lines lines;
    lines.start = app_text::ExportingTakes(folder);
    lines.cancelled = app_text::StemsCanceled();
    lines.failed = app_text::ExportFailed();
    (void)runner_.Run(lines, [&](trx5::Progress& progress) {
        std::vector<std::string> written;
        auto result = trx5::ExportStems(request, progress, written);
        // The stems finished before a failure or an Abort are there, whole,
        // and listed before the line that tells how it ended.
        for (const std::string& file : written) runner_.AddLine(app_text::Created(ToQString(file)));
        // A failed card check names no file and is told as the reason.
        if (!result && result.status().path().empty()) {
            const trx5::Status& failure = result.status();
            return decltype(result)(
                trx5::Status::Fail(failure.code(), trx5::kMsgCannotWrite, failure.message()));
        }
        return result;
    });
}

void TTakeExport::OneTake(int slot) {
    if (selection_.TakeFiles[slot].empty()) return;
    const QString folder = dialogs_.GetFolder(&window_, app_text::ExportOneTitle());
    if (folder.isEmpty()) return;
    const trx5::ExportRequest request = selection_.ExportOne(slot, folder.toStdString());
    if (QFileInfo::exists(ToQString(request.outputPath)) && !ConfirmReplace(1, folder)) return;
    Run(request);
}

QMimeData* TTakeExport::DragData(int slot) {
    if (runner_.Busy() || selection_.TakeFiles[slot].empty()) return nullptr;
    if (!dragFolder_) dragFolder_ = std::make_unique<QTemporaryDir>();
    const trx5::ExportRequest request =
        selection_.ExportOne(slot, dragFolder_->path().toStdString());
    trx5::NoProgress quiet;
    const auto result = trx5::ExportTakes(request, quiet);
    if (!result) {
        runner_.Report(app_text::DragFailed(), result.status());
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(ToQString(request.outputPath))});
    return data;
}

bool TTakeExport::ConfirmReplace(std::size_t files, const QString& folder) {
    return dialogs_.Confirm(&window_, app_text::ReplaceExisting(files, folder),
                            app_text::QuestionCaption());
}
