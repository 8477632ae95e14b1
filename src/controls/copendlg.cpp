#include "controls/copendlg.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScreen>
#include <QSizeGrip>
#include <QTimer>
#include <QTreeView>
#include <optional>

namespace CustDlgs {

namespace {

// "No size given": the dialog keeps its current size.
constexpr QSize kKeepSize(-1, -1);

}  // namespace

// Takes one dialog over for one showing: moves the dialog's standard controls
// into one widget, hosts the sub-form beside it, keeps both laid out, holds
// the dialog at its minimum size and places it when first shown.
//
// Sizes are Qt's client sizes throughout: Qt sizes and limits a window by its
// client area, so the layout rules get the client size as the window size
// and a frame of 0.
class TDialogCustomizer : public QObject {
  public:
    TDialogCustomizer(QFileDialog* dialog, TCustomDlgsUnit* unit, bool sizing)
        : dialog_(dialog), unit_(unit), sizing_(sizing) {}
    ~TDialogCustomizer() override {
        if (state_ != 0) Detach();
    }

    QFileDialog* Dialog() const { return dialog_; }
    // A resizable dialog keeps the settings it opened with; the fixed one
    // takes changes at once.
    bool GetCanChangeProperties() const { return !sizing_; }

    void InitializeDialog();
    void UpdateProperty() {
        ReadSettings();
        if (dialog_) ResizeDialog(kKeepSize);
    }
    // After the sub-form has been destroyed.
    void LayOutAgain() {
        if (dialog_) ResizeDialog(kKeepSize);
    }
    void ApplyIcon() {
        if (dialog_) dialog_->setWindowIcon(unit_->icon_);
    }
    void Detach();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Settings {
        QPointer<QWidget> subForm;
        TSubFormPos pos = fpClient;
        TSubFormAnchors anchors;
        TDialogEdgeSpace minEdgeSpace;
    };
    // What the sub-form was before the take-over.
    struct SavedSubForm {
        QPointer<QWidget> parent;
        bool hadParent = false;
        Qt::WindowFlags flags;
        QRect geometry;
        Qt::WindowStates state;
        QSize minimum;
        QSize maximum;
        bool visible = false;
        bool explicitlyHidden = false;
    };

    void ReadSettings();
    void StartCustomize();
    void ResizeDialog(QSize size);
    void ChangedDialogSize(QSize client);
    void SaveSubFormProperties(QWidget* form);
    void RestoreSubFormProperties();
    bool UserResizes() const { return sizing_ || unit_->dialogSizing_; }
    bool Hostable(const QWidget* form) const {
        return form && controls_ && form != dialog_ && !form->isAncestorOf(dialog_);
    }
    std::optional<QSize> SubFormClient() const {
        return taken_ ? std::optional<QSize>(subFormClient_) : std::nullopt;
    }
    QRect ScreenRect() const;

    QPointer<QFileDialog> dialog_;
    TCustomDlgsUnit* unit_;
    const bool sizing_;
    // 0 detached, 1 attached and laid out, 2 being sized and placed, 3 placed.
    int state_ = 0;
    Settings settings_;
    QPointer<QWidget> controls_;
    QPointer<QWidget> taken_;
    SavedSubForm saved_;
    QSize subFormClient_;
    QSize initialClient_;
    QSize minSize_;
};

void TDialogCustomizer::ReadSettings() {
    settings_.subForm = unit_->subForm_;
    settings_.pos = unit_->subFormPos_;
    settings_.anchors = unit_->subFormAnchors_;
    settings_.minEdgeSpace = unit_->minEdgeSpace_;
}

void TDialogCustomizer::InitializeDialog() {
    state_ = 1;
    ReadSettings();
    initialClient_ = dialog_->testAttribute(Qt::WA_Resized) ? dialog_->size() : dialog_->sizeHint();
    // Qt's own dialog lays its controls out in one layout: moved onto a
    // widget of their own, they take one rectangle beside the sub-form.
    if (QLayout* layout = dialog_->layout()) {
        controls_ = new QWidget(dialog_);
        controls_->setObjectName(QStringLiteral("DialogControls"));
        controls_->setLayout(layout);
    }
    if (!sizing_) dialog_->setSizeGripEnabled(unit_->dialogSizing_);
    dialog_->installEventFilter(this);
    ResizeDialog(kKeepSize);
    ApplyIcon();
}

bool TDialogCustomizer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dialog_ && state_ != 0) {
        if (event->type() == QEvent::Show && state_ == 1) {
            StartCustomize();
        } else if (event->type() == QEvent::Resize) {
            ChangedDialogSize(static_cast<QResizeEvent*>(event)->size());
        }
    }
    return false;
}

// Runs from the first show event, before the window reaches the screen.
void TDialogCustomizer::StartCustomize() {
    state_ = 2;
    ResizeDialog(UserResizes() ? unit_->rememberedSize_ : kKeepSize);
    dialog_->move(GetDialogPosition(unit_->rememberedPosition_, dialog_->frameGeometry().size(),
                                    ScreenRect()));
    state_ = 3;
    if (!unit_->caption_.isEmpty()) dialog_->setWindowTitle(unit_->caption_);
    emit unit_->Customized();
}

// The screen of the dialog's owner window, else the primary screen.
QRect TDialogCustomizer::ScreenRect() const {
    const QWidget* owner = dialog_->parentWidget();
    QScreen* screen = owner ? owner->window()->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

// Hosts the sub-form now set, sets the minimum size and resizes the dialog
// to `size` (a negative coordinate keeps the current one), never below the
// minimum.
void TDialogCustomizer::ResizeDialog(QSize size) {
    QWidget* wanted = Hostable(settings_.subForm) ? settings_.subForm.data() : nullptr;
    if (taken_ && taken_ != wanted) RestoreSubFormProperties();
    if (wanted && !taken_) SaveSubFormProperties(wanted);
    if (taken_ && taken_->parentWidget() != dialog_) taken_->setParent(dialog_);

    minSize_ = GetMinDialogSize(initialClient_, initialClient_, SubFormClient(), settings_.pos,
                                settings_.minEdgeSpace);
    QSize target = dialog_->size();
    if (size.width() >= 0) target.setWidth(size.width());
    if (size.height() >= 0) target.setHeight(size.height());
    target = target.expandedTo(minSize_);
    if (UserResizes()) {
        dialog_->setMinimumSize(minSize_);
        dialog_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        dialog_->resize(target);
    } else {
        dialog_->setFixedSize(target);
    }
    // A hidden dialog gets its resize event only when shown.
    ChangedDialogSize(dialog_->size());

    if (taken_) {
        if (settings_.pos == fpClient) taken_->lower();  // behind the controls
        taken_->show();
    }
    if (auto* grip = dialog_->findChild<QSizeGrip*>(QString(), Qt::FindDirectChildrenOnly)) {
        grip->raise();
    }
}

void TDialogCustomizer::ChangedDialogSize(QSize client) {
    if (!controls_) return;
    const TSubFormLayout layout =
        sizing_ ? GetControlsandSubFormRect(client, initialClient_, SubFormClient(), settings_.pos,
                                            settings_.minEdgeSpace)
                : GetFixedControlsandSubFormRect(client, initialClient_, QSize(0, 0), minSize_,
                                                 SubFormClient(), settings_.pos,
                                                 settings_.minEdgeSpace, settings_.anchors);
    controls_->setGeometry(layout.controls);
    if (taken_ && taken_->parentWidget() == dialog_) taken_->setGeometry(layout.subForm);
    unit_->nowEdgeSpace_ = layout.nowEdgeSpace;
}

void TDialogCustomizer::SaveSubFormProperties(QWidget* form) {
    taken_ = form;
    saved_.parent = form->parentWidget();
    saved_.hadParent = saved_.parent != nullptr;
    saved_.flags = form->windowFlags();
    saved_.geometry = form->geometry();
    saved_.state = form->windowState();
    saved_.minimum = form->minimumSize();
    saved_.maximum = form->maximumSize();
    saved_.visible = form->isVisible();
    saved_.explicitlyHidden =
        form->isHidden() && form->testAttribute(Qt::WA_WState_ExplicitShowHide);
    form->hide();
    subFormClient_ = form->size();
    // A form of fixed size must stretch with the dialog.
    form->setMinimumSize(0, 0);
    form->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    form->setWindowState(Qt::WindowNoState);
}

void TDialogCustomizer::RestoreSubFormProperties() {
    QWidget* form = taken_;
    taken_ = nullptr;
    if (!form) return;
    // setParent hides the form; one that was never hidden on purpose shows
    // again with its parent.
    // A form whose parent has gone meanwhile stays a hidden, parentless one.
    const bool parentGone = saved_.hadParent && !saved_.parent;
    form->setParent(saved_.parent, parentGone ? Qt::Window : saved_.flags);
    form->setMinimumSize(saved_.minimum);
    form->setMaximumSize(saved_.maximum);
    form->setGeometry(saved_.geometry);
    form->setWindowState(saved_.state);
    if (parentGone) return;
    if (saved_.explicitlyHidden) {
        form->hide();
    } else if (saved_.visible) {
        form->show();
    }
}

void TDialogCustomizer::Detach() {
    if (dialog_ && state_ == 3) {
        unit_->rememberedPosition_ = dialog_->pos();
        if (UserResizes()) unit_->rememberedSize_ = dialog_->size();
    }
    unit_->nowEdgeSpace_ = TDialogEdgeSpace();
    RestoreSubFormProperties();
    if (dialog_) dialog_->removeEventFilter(this);
    state_ = 0;
}

void TDialogMinEdgeSpace::Changed() { unit_->PropertyChanged(); }

TCustomDlgsUnit::TCustomDlgsUnit(QObject* owner) : QObject(owner) {}

TCustomDlgsUnit::~TCustomDlgsUnit() {
    // Gives the sub-form back while the settings it reads still exist.
    customizer_.reset();
}

void TCustomDlgsUnit::SetSubForm(QWidget* form) {
    if (form == subForm_) return;
    disconnect(subFormWatch_);
    subForm_ = form;
    if (form) {
        subFormWatch_ =
            connect(form, &QObject::destroyed, this, &TCustomDlgsUnit::SubFormDestroyed);
    }
    PropertyChanged();
}

void TCustomDlgsUnit::SetSubFormPos(TSubFormPos pos) {
    if (pos == subFormPos_) return;
    subFormPos_ = pos;
    PropertyChanged();
}

void TCustomDlgsUnit::SetSubFormAnchors(TSubFormAnchors anchors) {
    if (anchors == subFormAnchors_) return;
    subFormAnchors_ = anchors;
    PropertyChanged();
}

void TCustomDlgsUnit::SetDialogSizing(bool sizing) {
    if (!customizer_) dialogSizing_ = sizing;
}

QString TCustomDlgsUnit::Caption() const {
    if (const QFileDialog* dialog = Dialog()) return dialog->windowTitle();
    return caption_;
}

void TCustomDlgsUnit::SetCaption(const QString& caption) {
    caption_ = caption;
    if (QFileDialog* dialog = Dialog(); dialog && !caption.isEmpty()) {
        dialog->setWindowTitle(caption);
    }
}

void TCustomDlgsUnit::SetIcon(const QIcon& icon) {
    icon_ = icon;
    if (customizer_) customizer_->ApplyIcon();
}

QFileDialog* TCustomDlgsUnit::Dialog() const {
    return customizer_ ? customizer_->Dialog() : nullptr;
}

void TCustomDlgsUnit::RegistDialog(QFileDialog* dialog, bool sizing) {
    if (customizer_ || !dialog) return;
    customizer_ = std::make_unique<TDialogCustomizer>(dialog, this, sizing);
    customizer_->InitializeDialog();
}

void TCustomDlgsUnit::UnregistDialog() {
    if (!customizer_) return;
    customizer_->Detach();
    customizer_.reset();
}

void TCustomDlgsUnit::PropertyChanged() {
    if (customizer_ && customizer_->GetCanChangeProperties()) customizer_->UpdateProperty();
}

void TCustomDlgsUnit::SubFormDestroyed() {
    // The form may have been a child of a dialog that is being destroyed
    // itself: lay out once that is over, and only a dialog that still exists.
    if (!customizer_) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (customizer_) customizer_->LayOutAgain();
        },
        Qt::QueuedConnection);
}

TCOpenDialog::TCOpenDialog(QObject* owner) : QObject(owner), unit_(new TCustomDlgsUnit(this)) {
    // Customized comes from the dialog's first show event, before its event
    // loop runs; the events wait for the loop, so that handlers may close it.
    connect(unit_, &TCustomDlgsUnit::Customized, this, [this] {
        QTimer::singleShot(0, dialog_.data(), [this, self = QPointer<TCOpenDialog>(this)] {
            emit OnShow();
            // A handler may have closed the dialog, or destroyed this component.
            if (self && dialog_ && dialog_->isVisible()) emit OnFolderChange();
        });
    });
}

TCOpenDialog::~TCOpenDialog() {
    // Ends a showing in progress; Execute returns when its loop has ended.
    if (dialog_) dialog_->reject();
}

QString TCOpenDialog::FileName() const { return dialog_ ? currentFile_ : fileName_; }

void TCOpenDialog::FollowName(const QString& path) {
    const QString file = !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
    if (file == currentFile_) return;
    currentFile_ = file;
    emit OnSelectionChange();
}

bool TCOpenDialog::Sizing() const {
    return options_.testFlag(ofEnableSizing) && !options_.testFlag(ofOldStyleDialog);
}

QWidget* TCOpenDialog::OwnerWindow() const {
    if (auto* widget = qobject_cast<QWidget*>(parent())) return widget->window();
    return QApplication::activeWindow();
}

void FitFileColumns(QFileDialog* dialog) {
    auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (view == nullptr || model == nullptr) return;
    auto fit = [view] {
        for (int column = 1; column < view->header()->count(); ++column) {
            view->resizeColumnToContents(column);
        }
    };
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view, fit);
    fit();
}

bool TCOpenDialog::Execute() {
    if (dialog_) return false;
    auto* dialog = new QFileDialog(OwnerWindow());
    // First of all: only Qt's own dialog has widgets that can host the form.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    FitFileColumns(dialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(options_.testFlag(ofFileMustExist) ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
    const QStringList filters = NameFilters(filter_);
    if (!filters.isEmpty()) dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(defaultExt_);
    if (!initialDir_.isEmpty()) dialog->setDirectory(initialDir_);
    if (!fileName_.isEmpty()) dialog->selectFile(fileName_);
    // The file that Open would take, reported whenever it changes: the name
    // in the name box (typed, or filled in by a click in the list) when there
    // is one, else the item current in the list. A name that is no file is
    // reported as none.
    QLineEdit* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const auto follow = [this, dialog, nameEdit](const QString& current) {
        const QString typed = nameEdit != nullptr ? nameEdit->text().trimmed() : QString();
        FollowName(typed.isEmpty() ? current : dialog->directory().absoluteFilePath(typed));
    };
    connect(dialog, &QFileDialog::currentChanged, this, follow);
    if (nameEdit != nullptr) {
        connect(nameEdit, &QLineEdit::textChanged, this, [follow] { follow({}); });
    }
    connect(dialog, &QFileDialog::directoryEntered, this, &TCOpenDialog::OnFolderChange);
    connect(dialog, &QFileDialog::filterSelected, this, &TCOpenDialog::OnTypeChange);

    // The dialog, and this component with it, may be destroyed by their
    // owners while the dialog runs.
    const QPointer<TCOpenDialog> self(this);
    const QPointer<QFileDialog> guard(dialog);
    dialog_ = dialog;
    currentFile_ = fileName_;
    unit_->RegistDialog(dialog, Sizing());
    bool chosen = dialog->exec() == QDialog::Accepted;
    if (!self) {
        delete guard.data();
        return false;
    }
    if (chosen && guard) {
        const QStringList files = guard->selectedFiles();
        chosen = !files.isEmpty();
        if (chosen) fileName_ = files.first();
    }
    unit_->UnregistDialog();
    if (guard) guard->disconnect(this);
    dialog_ = nullptr;
    emit OnClose();
    delete guard.data();
    return chosen;
}

QStringList TCOpenDialog::NameFilters(const QString& filter) {
    // Qt filters by the last bracket of a name, so that bracket must hold
    // the real patterns.
    static const QRegularExpression kPatternBracket(QStringLiteral(R"(\(([^()]*[*?][^()]*)\)$)"));
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'))) {
            const QString trimmed = pattern.trimmed();
            if (trimmed.isEmpty()) continue;
            patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        if (patterns.isEmpty()) continue;
        const QString joined = patterns.join(QLatin1Char(' '));
        QString name = parts[i].trimmed();
        const QRegularExpressionMatch bracket = kPatternBracket.match(name);
        if (bracket.hasMatch()) {
            name.replace(bracket.capturedStart(1), bracket.capturedLength(1), joined);
        } else {
            name += (name.isEmpty() ? QStringLiteral("(") : QStringLiteral(" (")) + joined +
                    QLatin1Char(')');
        }
        result << name;
    }
    return result;
}

}  // namespace CustDlgs
