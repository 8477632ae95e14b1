#include "app/rescue_card.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <algorithm>

#include "app/app_messages.h"
#include "app/dialog_provider.h"
#include "app/info_text.h"
#include "app/operation_runner.h"
#include "common/folder.h"
#include "controls/dirtreeview.h"
#include "rescue/card_devices.h"
#include "rescue/rescue_output.h"

namespace {

// Moves the dialog's bar, lets the window repaint and answers its Cancel.
class DialogProgress final : public trx5::Progress {
  public:
    static constexpr int kSteps = 1000;

    DialogProgress(QProgressDialog& dialog, TRescueCard& owner) : dialog_(dialog), owner_(owner) {}

    bool Step(std::uint64_t done, std::uint64_t total) override {
        const int value =
            total == 0
                ? 0
                : static_cast<int>(static_cast<double>(std::min(done, total)) / total * kSteps);
        if (value != dialog_.value()) dialog_.setValue(value);
        emit owner_.ProgressStep(done, total);
        QCoreApplication::processEvents();
        return !dialog_.wasCanceled();
    }

  private:
    QProgressDialog& dialog_;
    TRescueCard& owner_;
};

// The report as the rescue wrote it.
QString ReportText(const trx5::RescueOutcome& outcome) {
    return QString::fromStdString(outcome.report);
}

// Restores the cursor however the rescue ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TRescueCard::TRescueCard(QWidget& window, DialogProvider& dialogs, TDirTreeView& tree,
                         TOperationRunner& runner, TInfoText& info)
    : QObject(&window),
      window_(window),
      dialogs_(dialogs),
      tree_(tree),
      runner_(runner),
      info_(info),
      lister_([] { return trx5::ListCardDevices(); }) {}

void TRescueCard::SetDeviceLister(TRescueWin::DeviceLister lister) { lister_ = std::move(lister); }

QString TRescueCard::NewRescueFolder(const QString& parent, const QDate& day) {
    const QString base = QString::fromStdString(trx5::WithTrailingSlash(parent.toStdString()));
    const QString date = day.toString(Qt::ISODate);
    for (int number = 1;; ++number) {
        const QString path = base + app_text::RescueFolderName(date, number);
        // A link that leads nowhere takes its name too.
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink()) return path;
    }
}

void TRescueCard::Rescue() {
    const QString parent = tree_.GetDirectory();
    if (parent.isEmpty()) {
        dialogs_.MessageBox(&window_, app_text::ChooseRescueFolder());
        return;
    }
    const QString destination = NewRescueFolder(parent, QDate::currentDate());
    TRescueWin dialog(window_, dialogs_, destination, lister_);
    if (dialog.exec() != QDialog::Accepted) return;
    const QString source = dialog.SourcePath();
    if (trx5::FolderIsOnDevice(parent.toStdString(), source.toStdString())) {
        dialogs_.MessageBox(&window_, app_text::RescueOntoItsCard(source));
        return;
    }
    Run(source, destination);
}

void TRescueCard::Run(const QString& source, const QString& destination) {
    info_.clear();
    // Opening may ask the user for the right to read the device: before
    // busy mode and the wait cursor.
    SourceResult opened = OpenCardSource(source);
    if (!opened) {
        runner_.Report(app_text::RescueFailed(), opened.status());
        return;
    }
    trx5::RetryingSectorReader reader(**opened);
    trx5::Result<trx5::RescueOutcome> result = [&] {
        QProgressDialog dialog(app_text::RescuingTheCard(), app_text::CancelButton(), 0,
                               DialogProgress::kSteps, &window_);
        dialog.setWindowTitle(app_text::RescueTitle());
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
        dialog.setMinimumDuration(0);
        dialog.setValue(0);
        dialog.show();
        DialogProgress progress(dialog, *this);
        trx5::RescueOptions options;
        options.progress = &progress;
        const WaitCursor wait;
        runner_.SetBusy(true);
        auto outcome = trx5::RescueToFolder(reader, destination.toStdString(), options);
        runner_.SetBusy(false);
        return outcome;
    }();
    // The failure is told once the progress dialog has gone, so that
    // nothing stands in front of the message.
    if (!result) {
        runner_.Report(app_text::RescueFailed(), result.status());
        return;
    }
    // The rescued folder is a card folder: the window shows it.
    tree_.ReBuild();
    tree_.SetDirectory(destination);
    auto* report = new TRescueReportWin(window_, ReportText(*result),
                                        QString::fromStdString(result->reportPath));
    report->show();
    // The folder by its name: the line is one line of a narrow box, and the
    // window's title and the tree show where it is.
    const QString folder = QFileInfo(destination).fileName();
    info_.AddLine(result->cancelled ? app_text::RescueCancelled(folder)
                                    : app_text::TakesRescued(result->takes.size(), folder));
}
