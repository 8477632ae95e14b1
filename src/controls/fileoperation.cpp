#include "controls/fileoperation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <map>
#include <vector>

#include "backup/card_copy.h"
#include "common/folder.h"

namespace {

// Shows how far the copy has got by bytes, lets the window repaint and
// answers the dialog's Cancel.
class DialogProgress final : public trx5::CopyProgress {
  public:
    DialogProgress(QProgressDialog& dialog, TFileOperation& operation)
        : dialog_(dialog), operation_(operation) {}

    bool Step(std::uint64_t done, std::uint64_t total, const std::string&) override {
        const int value = total == 0 ? 0 : static_cast<int>(done * kSteps / total);
        if (value != dialog_.value()) dialog_.setValue(value);
        emit operation_.ProgressStep(done, total);
        QCoreApplication::processEvents();
        return !dialog_.wasCanceled();
    }

    static constexpr int kSteps = 1000;

  private:
    QProgressDialog& dialog_;
    TFileOperation& operation_;
};

}  // namespace

TFileOperation::TFileOperation(QObject* owner) : QObject(owner) {}

int TFileOperation::FunctionCode(TFileOp operation) {
    switch (operation) {
        case foMove:
            return 1;
        case foCopy:
            return 2;
        case foDelete:
            return 3;
        case foRename:
            return 4;
    }
    return 0;
}

std::uint32_t TFileOperation::OptionBits() const { return static_cast<std::uint32_t>(flags_); }

QByteArray TFileOperation::DoubleZeroList(const QStringList& names) {
    QByteArray list;
    for (const QString& name : names) {
        list += name.toLocal8Bit();
        list += '\0';
    }
    list += '\0';
    return list;
}

bool TFileOperation::Execute() {
    aborted_ = false;
    notes_.clear();
    error_.clear();
    auto fail = [this](const QString& text) {
        error_ = text;
        if (showError_) {
            showError_(text);
        } else {
            QMessageBox::critical(parent_, progressTitle_, text);
        }
        return false;
    };
    if (operation_ != foCopy || fileTo_.size() != 1 || fileFrom_.isEmpty()) {
        return fail(QStringLiteral("This file operation is not available."));
    }

    // The patterns of each source folder, copied in one go per folder.
    std::map<QString, std::vector<std::string>> patternsByFolder;
    std::vector<QString> folders;
    for (const QString& entry : fileFrom_) {
        const QFileInfo info(entry);
        const QString folder = info.path();
        if (!patternsByFolder.count(folder)) folders.push_back(folder);
        patternsByFolder[folder].push_back(info.fileName().toStdString());
    }

    // The copy runs under its progress dialog; a failure is shown only once
    // the dialog has gone, so that nothing stands in front of the message.
    QString failure;
    {
        QProgressDialog dialog(progressTitle_, QStringLiteral("Cancel"), 0, DialogProgress::kSteps,
                               parent_);
        dialog.setWindowTitle(progressTitle_);
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
        dialog.setMinimumDuration(500);
        DialogProgress progress(dialog, *this);
        for (const QString& folder : folders) {
            trx5::CopyRequest request;
            request.sourceFolder = folder.toStdString();
            request.patterns = patternsByFolder[folder];
            request.destinationFolder = fileTo_.front().toStdString();
            request.createDestination = !destinationMustExist_;
            const auto result = trx5::CopyFiles(request, progress);
            if (!result) {
                failure = QStringLiteral("Cannot copy %1: %2")
                              .arg(QString::fromStdString(result.path()),
                                   QString::fromStdString(result.reason()));
                break;
            }
            for (const std::string& note : result->notes) notes_ << QString::fromStdString(note);
            if (result->cancelled) {
                notes_ << QString::fromStdString(result->summary);
                aborted_ = true;
                return false;
            }
        }
    }
    if (!failure.isEmpty()) return fail(failure);
    return true;
}

void TFileOperation::SetFolderCopy(const QString& folder, const QStringList& patterns,
                                   const QString& destination) {
    operation_ = foCopy;
    fileFrom_.clear();
    const QString prefix = QString::fromStdString(trx5::WithTrailingSlash(folder.toStdString()));
    for (const QString& pattern : patterns) fileFrom_ << prefix + pattern;
    fileTo_ = QStringList{destination};
}
