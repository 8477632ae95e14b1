// TCOpenDialog: the program's open dialog. It is Qt's own file dialog (never
// the desktop's native one, which cannot hold widgets of the program) with
// one addition: it hosts a form of the program, the sub-form, along one side
// of its standard controls and keeps it laid out while the dialog is resized.
//
// For one showing the dialog takes the sub-form over: it becomes a child of
// the dialog, sized by the layout rules of dlgs_layout.h, and is given back
// afterwards with its parent, window flags, geometry, size limits and
// visibility as they were. A sub-form that sat in a layout comes back to its
// parent but not into that layout.
//
// The dialog's placement (position and size) is remembered from one showing
// to the next for as long as the component lives.
#pragma once

#include <QFileDialog>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>

#include "controls/dlgs_layout.h"

class QWidget;

namespace CustDlgs {

// Keeps the size, type and date columns of a Qt file dialog's detail view as
// wide as what they show ("344 KiB", "WAV audio"), each time a folder has
// been read; the name column keeps the rest.
void FitFileColumns(QFileDialog* dialog);

class TCustomDlgsUnit;
class TDialogCustomizer;

// MinEdgeSpace: margins tied to their dialog unit, which lays an open dialog
// out again after each change when that dialog takes changes.
class TDialogMinEdgeSpace : public TDialogEdgeSpace {
  public:
    explicit TDialogMinEdgeSpace(TCustomDlgsUnit* unit) : unit_(unit) {}
    TDialogMinEdgeSpace(const TDialogMinEdgeSpace&) = delete;
    TDialogMinEdgeSpace& operator=(const TDialogMinEdgeSpace&) = delete;

  protected:
    void Changed() override;

  private:
    TCustomDlgsUnit* unit_;
};

// The sub-form settings and the remembered placement of a dialog, kept from
// one showing to the next.
//
// Changes to the sub-form, SubFormPos, SubFormAnchors or MinEdgeSpace while
// a dialog is open are stored at once. A fixed dialog (one the toolkit does
// not resize: ofEnableSizing off, or ofOldStyleDialog) is laid out again with
// them at once; a resizable one keeps the layout it opened with and the next
// showing uses them.
class TCustomDlgsUnit : public QObject {
    Q_OBJECT

  public:
    explicit TCustomDlgsUnit(QObject* owner = nullptr);
    ~TCustomDlgsUnit() override;

    // The form hosted in the dialog, or none. A destroyed sub-form is
    // forgotten, and an open dialog is laid out without it.
    QWidget* SubForm() const { return subForm_; }
    void SetSubForm(QWidget* form);
    TSubFormPos SubFormPos() const { return subFormPos_; }
    void SetSubFormPos(TSubFormPos pos);
    TSubFormAnchors SubFormAnchors() const { return subFormAnchors_; }
    void SetSubFormAnchors(TSubFormAnchors anchors);
    TDialogMinEdgeSpace& MinEdgeSpace() { return minEdgeSpace_; }
    const TDialogMinEdgeSpace& MinEdgeSpace() const { return minEdgeSpace_; }
    // The margins the last layout gave the sub-form; all 0 while closed.
    const TDialogEdgeSpace& GetNowEdgeSpace() const { return nowEdgeSpace_; }

    // Fixed dialog: whether the user may resize it. Either dialog: whether
    // the size is remembered for the next showing. Changed only while closed.
    bool DialogSizing() const { return dialogSizing_; }
    void SetDialogSizing(bool sizing);

    // Title of the dialog; empty keeps the toolkit's. While open, reading
    // gives the window's title and setting a non-empty one retitles it.
    QString Caption() const;
    void SetCaption(const QString& caption);
    // Icon of the dialog window; empty keeps the application's.
    QIcon Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);

    // Where the dialog was and how large when it last closed; (-1, -1) until
    // then. The size is kept only where DialogSizing (or the toolkit's
    // resizing) let the user change it.
    QPoint RememberedPosition() const { return rememberedPosition_; }
    QSize RememberedSize() const { return rememberedSize_; }

    // The open dialog, or null.
    QFileDialog* Dialog() const;

    // Takes `dialog` over for one showing, before it is shown: hosts the
    // sub-form and lays the dialog out. When it is first shown, the dialog is
    // sized, placed and titled, and Customized is raised. `sizing` tells
    // whether the toolkit lets the user resize it (else it is fixed).
    void RegistDialog(QFileDialog* dialog, bool sizing);
    // Ends the showing: remembers the placement, gives the sub-form back.
    void UnregistDialog();

  signals:
    // The open dialog has been sized, placed and titled.
    void Customized();

  private:
    friend class TDialogCustomizer;
    friend class TDialogMinEdgeSpace;

    void PropertyChanged();
    void SubFormDestroyed();

    std::unique_ptr<TDialogCustomizer> customizer_;
    QPointer<QWidget> subForm_;
    QMetaObject::Connection subFormWatch_;
    TSubFormPos subFormPos_ = fpClient;
    TSubFormAnchors subFormAnchors_ = faLeft | faTop | faRight | faBottom;
    TDialogMinEdgeSpace minEdgeSpace_{this};
    TDialogEdgeSpace nowEdgeSpace_;
    bool dialogSizing_ = false;
    QPoint rememberedPosition_{-1, -1};
    QSize rememberedSize_{-1, -1};
    QString caption_;
    QIcon icon_;
};

class TCOpenDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(QString Filter READ Filter WRITE SetFilter)
    Q_PROPERTY(QString DefaultExt READ DefaultExt WRITE SetDefaultExt)
    Q_PROPERTY(QString InitialDir READ InitialDir WRITE SetInitialDir)
    Q_PROPERTY(TOpenOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(CustDlgs::TSubFormPos SubFormPos READ SubFormPos WRITE SetSubFormPos)
    Q_PROPERTY(CustDlgs::TSubFormAnchors SubFormAnchors READ SubFormAnchors WRITE SetSubFormAnchors)
    Q_PROPERTY(bool DialogSizing READ DialogSizing WRITE SetDialogSizing)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QIcon Icon READ Icon WRITE SetIcon)

  public:
    enum TOpenOption {
        ofHideReadOnly = 0x1,    // no read-only choice (Qt's dialog never offers one)
        ofFileMustExist = 0x2,   // only existing files can be chosen
        ofEnableSizing = 0x4,    // the user resizes the dialog; else it is fixed
        ofOldStyleDialog = 0x8,  // the fixed dialog, whatever ofEnableSizing says
    };
    Q_DECLARE_FLAGS(TOpenOptions, TOpenOption)
    Q_FLAG(TOpenOptions)

    // The dialog's window parent is `owner` (its window) when it is a widget,
    // else the active window. Options start as ofHideReadOnly | ofEnableSizing.
    explicit TCOpenDialog(QObject* owner = nullptr);
    ~TCOpenDialog() override;

    // While the dialog is open: the file that Open would take, clicked or
    // typed (as last reported by OnSelectionChange), or empty when that name
    // is no file. Otherwise the file last chosen, or the one set to be
    // preselected.
    QString FileName() const;
    void SetFileName(const QString& name) { fileName_ = name; }
    // "Name|pattern;pattern|Name|pattern...", as NameFilters reads it.
    QString Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }
    // Added to a typed name without an extension.
    QString DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const QString& ext) { defaultExt_ = ext; }
    // Folder shown first; empty leaves the toolkit's choice.
    QString InitialDir() const { return initialDir_; }
    void SetInitialDir(const QString& dir) { initialDir_ = dir; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions options) { options_ = options; }

    TSubFormPos SubFormPos() const { return unit_->SubFormPos(); }
    void SetSubFormPos(TSubFormPos pos) { unit_->SetSubFormPos(pos); }
    TSubFormAnchors SubFormAnchors() const { return unit_->SubFormAnchors(); }
    void SetSubFormAnchors(TSubFormAnchors anchors) { unit_->SetSubFormAnchors(anchors); }
    TDialogMinEdgeSpace& MinEdgeSpace() { return unit_->MinEdgeSpace(); }
    bool DialogSizing() const { return unit_->DialogSizing(); }
    void SetDialogSizing(bool sizing) { unit_->SetDialogSizing(sizing); }
    QString Caption() const { return unit_->Caption(); }
    void SetCaption(const QString& caption) { unit_->SetCaption(caption); }
    QIcon Icon() const { return unit_->Icon(); }
    void SetIcon(const QIcon& icon) { unit_->SetIcon(icon); }
    // The form to host (none: the plain dialog).
    void SetSubForm(QWidget* form) { unit_->SetSubForm(form); }
    QWidget* SubForm() const { return unit_->SubForm(); }

    TCustomDlgsUnit* DlgsUnit() const { return unit_; }
    // The open dialog, or null; for handlers of the events below.
    QFileDialog* Dialog() const { return dialog_; }

    // Shows the dialog modally. True when the user chose a file; FileName
    // then holds its full path. False on cancel, and when the dialog is
    // already open.
    bool Execute();

    // Qt name filters for a Filter text: each "Name|patterns" pair becomes
    // "Name(p1 p2)". A name ending in a bracket of patterns gets the real
    // patterns in that bracket; any other name gets " (patterns)" appended.
    // "*.*" becomes "*", which also matches names without a dot. A name
    // without patterns is left out.
    static QStringList NameFilters(const QString& filter);

  signals:
    // The dialog has been laid out, placed and shown; its event loop runs, so
    // a handler may close it through Dialog().
    void OnShow();
    // The dialog has closed and the sub-form has been given back.
    void OnClose();
    // The file that Open would take changed; FileName gives its path.
    void OnSelectionChange();
    // The dialog shows another folder; raised once right after OnShow too.
    void OnFolderChange();
    // The user picked another file type.
    void OnTypeChange();

  private:
    bool Sizing() const;
    QWidget* OwnerWindow() const;
    // Makes `path` the file Open would take when it is one, else none.
    void FollowName(const QString& path);

    TCustomDlgsUnit* unit_;
    QPointer<QFileDialog> dialog_;
    QString fileName_;
    QString currentFile_;
    QString filter_;
    QString defaultExt_;
    QString initialDir_;
    TOpenOptions options_ = TOpenOptions(ofHideReadOnly) | ofEnableSizing;
};

}  // namespace CustDlgs

Q_DECLARE_OPERATORS_FOR_FLAGS(CustDlgs::TCOpenDialog::TOpenOptions)
