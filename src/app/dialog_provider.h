// The window's modal dialogs, message boxes and the shell's "open a
// document": one seam, so the tests can answer them without blocking.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QMimeData;
class QWidget;
class TNfWin;
namespace CustDlgs {
class TCOpenDialog;
}

// What the save dialog returned: the name as chosen and whether the AIFF or
// the FLAC filter was the selected one (it decides the format of a name
// without an extension).
struct SaveChoice {
    QString fileName;
    bool aiffFilter = false;
    bool flacFilter = false;
};

class DialogProvider {
  public:
    virtual ~DialogProvider() = default;

    // The export's save dialog; none when the user cancelled.
    virtual std::optional<SaveChoice> GetSaveFileName(QWidget* parent) = 0;
    // Runs the import's open dialog; the file chosen, or an empty text when
    // the user cancelled.
    virtual QString GetOpenFileName(CustDlgs::TCOpenDialog& dialog) = 0;
    // A plain message box with an OK button; `detail` (why it failed) is
    // shown as the box's detail text when given.
    virtual void MessageBox(QWidget* parent, const QString& text, const QString& detail = {}) = 0;
    // A folder chosen in a folder dialog; empty when the user cancelled.
    virtual QString GetFolder(QWidget* parent, const QString& caption) = 0;
    // An existing file chosen in a file dialog (a card's image for a
    // rescue); empty when the user cancelled.
    virtual QString GetImageFile(QWidget* parent, const QString& caption) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool Confirm(QWidget* parent, const QString& text, const QString& caption) = 0;
    // A question with a button for each of `buttons`, the last of which
    // cancels (as Esc and closing the box do); the index of the button
    // pressed.
    virtual int Choose(QWidget* parent, const QString& text, const QString& caption,
                       const QStringList& buttons) = 0;
    // Runs the "New Folder" dialog; the name typed, or none on Cancel.
    virtual std::optional<QString> NewFolderName(TNfWin& dialog) = 0;
    // Runs a drag of `data` (which it takes over) from `source`.
    virtual void StartDrag(QWidget* source, QMimeData* data) = 0;
    // Shows a local document with the desktop's default handler; when the
    // desktop cannot (no handler, or the handler fails), `failed` is called,
    // now or later from the event loop.
    virtual void OpenDocument(const QUrl& url, std::function<void()> failed) = 0;
};

class QMessageBox;

// Makes a message box wide enough for its whole title.
void FitTitle(QMessageBox& box);
// The box Choose shows, not yet run.
std::unique_ptr<QMessageBox> MakeChoiceBox(QWidget* parent, const QString& text,
                                           const QString& caption, const QStringList& buttons);
// Runs a drag of `data` (which it takes over) from `source` with the
// toolkit's QDrag: a copy to the file manager, or a move or copy within the
// window.
void RunDrag(QWidget* source, QMimeData* data);

// The real dialogs of the toolkit and the desktop.
class QtDialogProvider final : public DialogProvider {
  public:
    std::optional<SaveChoice> GetSaveFileName(QWidget* parent) override;
    QString GetOpenFileName(CustDlgs::TCOpenDialog& dialog) override;
    void MessageBox(QWidget* parent, const QString& text, const QString& detail = {}) override;
    QString GetFolder(QWidget* parent, const QString& caption) override;
    QString GetImageFile(QWidget* parent, const QString& caption) override;
    bool Confirm(QWidget* parent, const QString& text, const QString& caption) override;
    int Choose(QWidget* parent, const QString& text, const QString& caption,
               const QStringList& buttons) override;
    std::optional<QString> NewFolderName(TNfWin& dialog) override;
    void StartDrag(QWidget* source, QMimeData* data) override;
    void OpenDocument(const QUrl& url, std::function<void()> failed) override;
};
