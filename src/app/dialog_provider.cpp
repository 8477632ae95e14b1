#include "app/dialog_provider.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDrag>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>

#include "app/app_messages.h"
#include "app/nf_win.h"
#include "controls/copendlg.h"

namespace {

const QString kWaveFilter = QStringLiteral("Windows Wave(*.wav)");
const QString kAiffFilter = QStringLiteral("AIFF(*.aif)");
const QString kFlacFilter = QStringLiteral("FLAC(*.flac)");

}  // namespace

std::optional<SaveChoice> QtDialogProvider::GetSaveFileName(QWidget* parent) {
    QFileDialog dialog(parent, app_text::SaveTitle(), QStringLiteral("."));
    CustDlgs::FitFileColumns(&dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({kWaveFilter, kAiffFilter, kFlacFilter});
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    // A name typed without an extension gets the one of the chosen filter,
    // so the overwrite prompt sees the name that is really written.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        dialog.setDefaultSuffix(f == kAiffFilter   ? QStringLiteral("aif")
                                : f == kFlacFilter ? QStringLiteral("flac")
                                                   : QStringLiteral("wav"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return SaveChoice{dialog.selectedFiles().constFirst(),
                      dialog.selectedNameFilter() == kAiffFilter,
                      dialog.selectedNameFilter() == kFlacFilter};
}

QString QtDialogProvider::GetOpenFileName(CustDlgs::TCOpenDialog& dialog) {
    return dialog.Execute() ? dialog.FileName() : QString();
}

void FitTitle(QMessageBox& box) {
    // Room for the title as a window manager draws it (often in bold) and for
    // its buttons; a box only as wide as a short text gets it cut.
    const int width =
        QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle()) * 5 / 4 + 160;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

void QtDialogProvider::MessageBox(QWidget* parent, const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    FitTitle(box);
    box.exec();
}

QString QtDialogProvider::GetFolder(QWidget* parent, const QString& caption) {
    QFileDialog dialog(parent, caption, QStringLiteral("."));
    CustDlgs::FitFileColumns(&dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QString QtDialogProvider::GetImageFile(QWidget* parent, const QString& caption) {
    QFileDialog dialog(parent, caption, QStringLiteral("."));
    CustDlgs::FitFileColumns(&dialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso)"),
                           QStringLiteral("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

bool QtDialogProvider::Confirm(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    FitTitle(box);
    return box.exec() == QMessageBox::Ok;
}

std::unique_ptr<QMessageBox> MakeChoiceBox(QWidget* parent, const QString& text,
                                           const QString& caption, const QStringList& buttons) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, caption, text,
                                             QMessageBox::NoButton, parent);
    for (int i = 0; i < buttons.size(); ++i) {
        const bool last = i == buttons.size() - 1;
        QPushButton* button =
            box->addButton(buttons[i], last ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        button->setProperty("choice", i);
        if (i == 0) box->setDefaultButton(button);
        if (last) box->setEscapeButton(button);
    }
    FitTitle(*box);
    return box;
}

int QtDialogProvider::Choose(QWidget* parent, const QString& text, const QString& caption,
                             const QStringList& buttons) {
    const std::unique_ptr<QMessageBox> box = MakeChoiceBox(parent, text, caption, buttons);
    box->exec();
    const QAbstractButton* clicked = box->clickedButton();
    return clicked != nullptr ? clicked->property("choice").toInt()
                              : static_cast<int>(buttons.size()) - 1;
}

std::optional<QString> QtDialogProvider::NewFolderName(TNfWin& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.FolderName();
}

void RunDrag(QWidget* source, QMimeData* data) {
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    // Copy unless the target asks for a move (a V-Take dropped on another).
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void QtDialogProvider::StartDrag(QWidget* source, QMimeData* data) { RunDrag(source, data); }

void QtDialogProvider::OpenDocument(const QUrl& url, std::function<void()> failed) {
    // The desktop's opener is run and watched: it exits with an error when
    // it finds nothing to show the page with, which QDesktopServices would
    // not report.
    auto* opener = new QProcess;
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failed](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0) failed();
                         opener->deleteLater();
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         failed();
                         opener->deleteLater();
                     });
    opener->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    opener->start(QStringLiteral("xdg-open"), {url.toString()});
}
