#include "app/main_win.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "app/app_messages.h"
#include "app/card_backup.h"
#include "app/dialog_provider.h"
#include "app/drive_combo.h"
#include "app/get_win.h"
#include "app/help_win.h"
#include "app/info_text.h"
#include "app/nf_win.h"
#include "app/rescue_card.h"
#include "app/song_list.h"
#include "app/take_drag_drop.h"
#include "app/take_export.h"
#include "app/take_grid_keys.h"
#include "app/take_import.h"
#include "app/take_organize.h"
#include "app/take_tooltip.h"
#include "card/card_info.h"
#include "common/folder.h"
#include "controls/bitpanel.h"
#include "controls/cgauge.h"
#include "controls/copendlg.h"
#include "controls/dirtreeview.h"
#include "controls/fileoperation.h"
#include "controls/version.h"
#include "controls/volume.h"
#include "playback/audition.h"
#include "playback/qt_sound_output.h"

namespace {

using trx5::kTracks;
using trx5::kVTakes;
using trx5::SlotIndex;

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TMainWin::TMainWin(DialogProvider& dialogs, QWidget* parent)
    : TMainWinForm(parent),
      runner_(*this, dialogs, *Gauge, *InfoText, [this](bool) { UpdateCommandStates(); }),
      dialogs_(dialogs),
      programFolder_(QCoreApplication::applicationDirPath()) {
    TitlePrefix = app_text::TitlePrefix(Version->ProductVersion());
    // Before any folder is chosen, the destinations read as the first track.
    FirstSel = 0;
    SecondSel = 0;
    backup_ =
        std::make_unique<TCardBackup>(*this, dialogs_, *FileOp, *DriveCombo, *DirTree, runner_);
    rescue_ = new TRescueCard(*this, dialogs_, *DirTree, runner_, *InfoText);
    export_ = std::make_unique<TTakeExport>(*this, dialogs_, runner_, selection_);
    import_ = std::make_unique<TTakeImport>(
        *this, dialogs_, runner_, selection_,
        [this](int slot, const std::string& path) { ShowTake(slot, path); });
    organizer_ = std::make_unique<TTakeOrganizer>(
        *this, dialogs_, runner_, *InfoText, selection_,
        [this] { return cardShown_ && !runner_.Busy(); }, [this] { CardChanged(); });
    ConnectControls();
}

TMainWin::~TMainWin() = default;

void TMainWin::ConnectControls() {
    for (int t = 0; t < kTracks; ++t) {
        QToolButton* sel = SelBtns[t];
        connect(sel, &QToolButton::clicked, this, [this, sel] { Sel1BtnClick(sel); });
        for (int v = 0; v < kVTakes; ++v) {
            const int slot = SlotIndex(t, v);
            QToolButton* take = TakeBtns[slot];
            connect(take, &QToolButton::clicked, this, [this, take] { SpeedButton1Click(take); });
            connect(take, &QToolButton::customContextMenuRequested, this,
                    [this, take, slot](const QPoint& at) {
                        QMenu* menu = TakeMenu(slot);
                        menu->setAttribute(Qt::WA_DeleteOnClose);
                        menu->popup(take->mapToGlobal(at));
                    });
        }
        for (TVolume* knob : {PanKnobs[t], VolKnobs[t]}) {
            connect(knob, &TVolume::OnGetParentBG, this, &TMainWin::Pan1GetParentBG);
        }
        connect(PanKnobs[t], &TVolume::OnChanged, this, &TMainWin::Pan1Changed);
        connect(VolKnobs[t], &TVolume::OnChanged, this, &TMainWin::Vol1Changed);
    }
    // The copy's own error window goes through the window's dialogs too.
    FileOp->SetErrorDisplay([this](const QString& text) { dialogs_.MessageBox(this, text); });

    connect(SongNum, &QComboBox::currentIndexChanged, this, [this] { SongNumChange(); });
    connect(Wav2TakeBtn, &QPushButton::clicked, this, &TMainWin::Wav2TakeBtnClick);
    connect(Take2WavBtn, &QPushButton::clicked, this, &TMainWin::ToWavBtnClick);
    connect(AudBtn, &QToolButton::clicked, this, &TMainWin::AudBtnClick);
    connect(BackBtn, &QPushButton::clicked, this, &TMainWin::BackBtnClick);
    connect(RestoreBtn, &QPushButton::clicked, this, &TMainWin::RestoreBtnClick);
    connect(RescueBtn, &QPushButton::clicked, this, &TMainWin::RescueBtnClick);
    connect(rescue_, &TRescueCard::ProgressStep, this, &TMainWin::ProgressStep);
    connect(WavOpen, &CustDlgs::TCOpenDialog::OnSelectionChange, this,
            &TMainWin::WavOpenSelectionChange);
    connect(AbortBtn, &QToolButton::clicked, this, &TMainWin::AbortBtnClick);
    connect(SortBtn, &QToolButton::clicked, this, &TMainWin::SortBtnClick);
    connect(NewFldrBtn, &QToolButton::clicked, this, &TMainWin::NewFldrBtnClick);
    connect(RefBtn, &QToolButton::clicked, this, &TMainWin::RefBtnClick);
    connect(HelpBtn, &QPushButton::clicked, this, &TMainWin::HelpBtnClick);
    connect(ExitBtn, &QPushButton::clicked, this, &TMainWin::ExitBtnClick);
    connect(DirTree, &TDirTreeView::OnChange, this, &TMainWin::DirTreeChange);
    connect(&runner_, &TOperationRunner::ProgressStep, this, &TMainWin::ProgressStep);

    TakeDnd = new TTakeDragDrop(
        TakeBtns, [this](int slot) { return export_->DragData(slot); }, selection_, this);
    TakeDnd->SetDragRunner(
        [this](QToolButton* source, QMimeData* data) { dialogs_.StartDrag(source, data); });
    // The import of a dropped file asks questions and lets events run: it
    // starts once the drop's handler has returned.
    connect(TakeDnd, &TTakeDragDrop::FileDropped, this, &TMainWin::TakeDropped,
            Qt::QueuedConnection);
    TakeKeys = new TTakeGridKeys(TakeBtns, this);
    organizer_->Listen(*TakeKeys, *TakeDnd);
    TakeTips = new TTakeTooltips(
        TakeBtns,
        [this](int slot) {
            return TTakeTooltips::Take{TakeFiles[slot], LongMode};
        },
        this);
}

void TMainWin::AttachForms(TGetWin* getWin, TNfWin* nfWin) {
    getWin_ = getWin;
    nfWin_ = nfWin;
    if (getWin_ != nullptr) {
        connect(getWin_, &TGetWin::SoundOutputFailed, this, [this] {
            dialogs_.MessageBox(getWin_, QString::fromLatin1(trx5::kMsgSoundOutput));
        });
    }
}

void TMainWin::SetSoundOutput(trx5::SoundOutput& output) {
    audition_.reset();
    output_ = &output;
}

trx5::Audition& TMainWin::Player() {
    if (output_ == nullptr) {
        ownOutput_ = std::make_unique<trx5::QtSoundOutput>();
        output_ = ownOutput_.get();
    }
    if (!audition_) {
        // Each refill reads the knobs as they stand then.
        audition_ = std::make_unique<trx5::Audition>(*output_, [this](int track) {
            return trx5::TrackKnobs{VolKnobs[track]->Position(), PanKnobs[track]->Position()};
        });
        connect(audition_.get(), &trx5::Audition::ProgressChanged, Gauge, &TCGauge::SetProgress);
        connect(audition_.get(), &trx5::Audition::Stopping, this, &TMainWin::AuditionStopping);
        connect(audition_.get(), &trx5::Audition::Stopped, this, &TMainWin::AuditionStopped);
    }
    return *audition_;
}

void TMainWin::SetProgramFolder(const QString& folder) { programFolder_ = folder; }

std::vector<trx5::TakeSlot> TMainWin::ImportDestinations() const {
    return selection_.ImportDestinations();
}

void TMainWin::UpdateCommandStates() {
    const bool busy = runner_.Busy();
    for (QWidget* w : std::initializer_list<QWidget*>{TreePanel, ExitBtn, BtnsPanel, SortBtn,
                                                      DriveCombo, RefBtn, HelpBtn}) {
        w->setEnabled(!busy);
    }
    NewFldrBtn->setEnabled(!busy && realFolder_);
    BackBtn->setEnabled(!busy && realFolder_);
    SongNum->setEnabled(!busy && cardShown_);
    RestoreBtn->setEnabled(!busy && cardShown_);
    RescueBtn->setEnabled(!busy);
    Wav2TakeBtn->setEnabled(!busy && !ImportDestinations().empty());
    Take2WavBtn->setEnabled(!busy && PlayTracks >= 1);
    // Audition is the one command of busy mode while it plays, and takes no
    // click while its buffers drain; it never plays during a conversion.
    AudBtn->setEnabled(playback_ == Playback::Playing ||
                       (playback_ == Playback::Idle && !busy && PlayTracks >= 1));
    AbortBtn->setEnabled(runner_.Running());
}

void TMainWin::ShowTake(int slot, const std::string& path) {
    ShowTakeButton(slot, !path.empty());
    selection_.SetTakeFile(slot, path);
}

void TMainWin::DirTreeChange(const QString& accessDir) {
    setWindowTitle(TitlePrefix + accessDir);
    realFolder_ = !accessDir.isEmpty();
    cardShown_ = false;

    // A virtual tree item has no path: the card test then looks at the
    // root folder.
    selection_.Clear(realFolder_ ? trx5::WithTrailingSlash(accessDir.toStdString())
                                 : std::string("/"));
    ClearSongView(false);
    for (int t = 0; t < kTracks; ++t) {
        PanLabels[t]->clear();
        FadeLabels[t]->clear();
        PanKnobs[t]->setEnabled(false);
        VolKnobs[t]->setEnabled(false);
    }
    SongNum->ShowSongs({});
    UpdateCommandStates();

    if (!trx5::CheckMachineFile(CardDir)) return;
    for (const std::string& note : trx5::CardFolderNotes(CardDir)) {
        InfoText->AddLine(ToQString(note));
    }
    const std::vector<trx5::SongEntry> songs = trx5::ListSongs(CardDir);
    if (songs.empty()) return;
    SongNum->ShowSongs(songs);
    cardShown_ = true;
    SongNumChange();
}

// Blanks the grid, the selections and the read-outs; the grid and the
// selection lamps are left usable only when a song is shown.
void TMainWin::ClearSongView(bool usable) {
    for (int slot = 0; slot < kTracks * kVTakes; ++slot) {
        ShowTakeButton(slot, false);
        TakeBtns[slot]->setChecked(false);
        TakeBtns[slot]->setEnabled(usable);
    }
    for (int t = 0; t < kTracks; ++t) {
        SelBtns[t]->setChecked(false);
        SelBtns[t]->setEnabled(usable);
        VLabels[t]->clear();
    }
    PlayTracks = 0;
    LMonoLabel->clear();
    RLabel->clear();
    VwMonoLabel->clear();
}

void TMainWin::SongNumChange() {
    // The entry carries its song's file number and mode.
    const int entry = SongNum->currentIndex();
    const int fileNumber = std::max(0, SongNum->FileNumberAt(entry));
    const bool longMode = SongNum->LongModeAt(entry);
    const trx5::TakeFiles found = trx5::FindTakeFiles(CardDir, fileNumber);
    selection_.ShowSong(CardDir, fileNumber, longMode, found);

    ClearSongView(true);
    for (int t = 0; t < kTracks; ++t) {
        Vol1Changed(VolKnobs[t], VolKnobs[t]->Position());
        Pan1Changed(PanKnobs[t], PanKnobs[t]->Position());
        VolKnobs[t]->setEnabled(true);
        PanKnobs[t]->setEnabled(true);
    }
    for (int slot = 0; slot < kTracks * kVTakes; ++slot) {
        if (!found[slot].empty()) ShowTakeButton(slot, true);
    }
    UpdateCommandStates();
}

void TMainWin::CardChanged() {
    const int shown = selection_.FileNumber;
    SongNum->ShowSongs(trx5::ListSongs(CardDir), shown);
    if (SongNum->FileNumberAt(SongNum->currentIndex()) != shown) return SongNumChange();
    const trx5::TakeFiles found = trx5::FindTakeFiles(CardDir, shown);
    for (int slot = 0; slot < kTracks * kVTakes; ++slot) ShowTake(slot, found[slot]);
    UpdateInfo();
}

void TMainWin::SpeedButton1Click(QToolButton* sender) {
    const int track = sender->property("tag").toInt() / 10;
    UpdateSelTake(track);
    UpdateInfo();
}

void TMainWin::UpdateSelTake(int track) {
    int selected = -1;
    for (int v = 0; v < kVTakes && selected < 0; ++v) {
        if (TakeBtns[SlotIndex(track, v)]->isChecked()) selected = v;
    }
    selection_.SelectTake(track, selected);
}

void TMainWin::Sel1BtnClick(QToolButton* sender) {
    const int track = sender->property("tag").toInt();
    // A third destination puts the oldest one's lamp out.
    if (const std::optional<int> dropped = selection_.SetDestination(track, sender->isChecked())) {
        SelBtns[*dropped]->setChecked(false);
    }
    UpdateSelTake(track);
    UpdateInfo();
}

void TMainWin::UpdateInfo() {
    LMonoLabel->clear();
    RLabel->clear();
    const std::vector<trx5::TakeSlot> destinations = ImportDestinations();
    if (destinations.size() == 1) {
        LMonoLabel->setText(app_text::Mono());
    } else if (destinations.size() == 2) {
        LMonoLabel->setText(app_text::FirstDestination(
            app_text::TrackTake(destinations[0].track, destinations[0].vtake)));
        RLabel->setText(app_text::SecondDestination(
            app_text::TrackTake(destinations[1].track, destinations[1].vtake)));
    }

    PlayTracks = 0;
    VwMonoLabel->clear();
    const std::array<std::string, kTracks> paths = selection_.SelectedTakePaths();
    for (int t = 0; t < kTracks; ++t) {
        VLabels[t]->clear();
        if (paths[t].empty()) continue;
        const std::optional<std::uint64_t> blocks = trx5::TakeFileBlocks(paths[t]);
        if (!blocks) continue;
        const std::uint64_t ms = trx5::TakeLengthMs(*blocks, LongMode);
        VLabels[t]->setText(app_text::TrackLength(t, ToQString(trx5::FormatTakeLength(ms))));
        ++PlayTracks;
    }
    if (PlayTracks == 1) VwMonoLabel->setText(app_text::Mono());
    if (PlayTracks >= 2) VwMonoLabel->setText(app_text::Stereo());
    UpdateCommandStates();
}

void TMainWin::Pan1Changed(TVolume* knob, int value) {
    PanLabels[knob->property("tag").toInt()]->setText(PanText(value));
}

void TMainWin::Vol1Changed(TVolume* knob, int value) {
    FadeLabels[knob->property("tag").toInt()]->setText(LevelText(value));
}

// The panel's pixels under the knob, in device pixels of the drawing the
// panel shows at the knob's pixel ratio, so that a 2x knob sits seamlessly
// on the 2x panel.
void TMainWin::Pan1GetParentBG(TVolume* knob, QPixmap& bitmap) {
    const QPixmap& panel = Panel1->BitmapFor(bitmap.devicePixelRatio());
    const qreal r = panel.devicePixelRatio();
    QPainter painter(&bitmap);
    painter.drawPixmap(QRectF(0, 0, knob->width(), knob->height()), panel,
                       QRectF(knob->x() * r, knob->y() * r, knob->width() * r, knob->height() * r));
}

void TMainWin::keyPressEvent(QKeyEvent* event) {
    // Exit is the window's cancel button: an Esc that no control took (an
    // open list takes its own, to close itself) works as Exit while Exit is
    // enabled.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (ExitBtn->isEnabled()) ExitBtn->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMainWin::closeEvent(QCloseEvent* event) {
    // A playing audition stops at once and the window closes; like Exit and
    // Esc, closing waits until any other running operation is over.
    if (audition_ && audition_->Playing()) audition_->Stop();
    if (runner_.Busy()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TMainWin::SetBusy(bool on) { runner_.SetBusy(on); }

void TMainWin::AbortBtnClick() { runner_.Abort(); }

void TMainWin::SortBtnClick() { DirTree->AlphaSort(); }

void TMainWin::NewFldrBtnClick() {
    if (nfWin_ == nullptr) return;
    const std::optional<QString> name = dialogs_.NewFolderName(*nfWin_);
    if (!name) return;
    const QString folder =
        ToQString(trx5::WithTrailingSlash(DirTree->GetDirectory().toStdString()));
    // One new level inside the selected folder, nothing else: a name that
    // would reach elsewhere makes nothing and selects nothing.
    const bool nameStaysInFolder = !name->isEmpty() && !name->contains(QLatin1Char('/')) &&
                                   *name != QLatin1String(".") && *name != QLatin1String("..");
    const QString path = folder + *name;
    if (nameStaysInFolder) QDir().mkdir(path);
    DirTree->ReBuild();
    if (nameStaysInFolder) DirTree->SetDirectory(path);
}

void TMainWin::RefBtnClick() { DirTree->ReBuild(); }

QString TMainWin::HelpIndexPath() const {
    // Beside the program, as built; or where an installation puts it.
    for (const char* folder : {"/OnLineHelp/", "/../share/trx5-card-manager/OnLineHelp/"}) {
        const QString path =
            QDir::cleanPath(programFolder_ + QLatin1String(folder) + QStringLiteral("index.html"));
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

void TMainWin::HelpBtnClick() {
    const QString path = HelpIndexPath();
    if (path.isEmpty()) {
        dialogs_.MessageBox(this, app_text::NoHelpFile());
        return;
    }
    const QUrl page = QUrl::fromLocalFile(path);
    // Help always shows: when the desktop has nothing to show it with, the
    // program's own help window does.
    dialogs_.OpenDocument(page, [this, page] { ShowHelpWindow(page); });
}

void TMainWin::ShowHelpWindow(const QUrl& page) {
    if (HelpWin == nullptr) HelpWin = new THelpWin(this);
    HelpWin->ShowPage(page);
}

void TMainWin::ExitBtnClick() { close(); }

trx5::KnobPositions TMainWin::Knobs() const {
    trx5::KnobPositions knobs;
    for (int t = 0; t < kTracks; ++t) {
        knobs.levels[t] = VolKnobs[t]->Position();
        knobs.pans[t] = PanKnobs[t]->Position();
    }
    return knobs;
}

void TMainWin::ToWavBtnClick() {
    // The knobs are read once; moving them during the export changes
    // nothing of it.
    export_->Mix(Knobs());
}

void TMainWin::Wav2TakeBtnClick() {
    import_->FromDialog(*WavOpen, getWin_);
    UpdateInfo();
}

void TMainWin::TakeDropped(int slot, const QString& path) {
    if (runner_.Busy() || !cardShown_) return;
    import_->Dropped(slot, path);
    UpdateInfo();
}

QMenu* TMainWin::TakeMenu(int slot) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("TakeMenu"));
    // The exports run dialogs and let events run while they work: they start
    // from the event loop once the menu has closed (and may be deleted), never
    // inside the menu's own handler.
    QAction* all = menu->addAction(app_text::ExportAllItem());
    connect(all, &QAction::triggered, this, &TMainWin::ExportSongTakes, Qt::QueuedConnection);
    QAction* one = menu->addAction(app_text::ExportOneItem());
    connect(
        one, &QAction::triggered, this, [this, slot] { ExportOneTake(slot); },
        Qt::QueuedConnection);
    all->setEnabled(cardShown_ && !runner_.Busy());
    one->setEnabled(!TakeFiles[slot].empty() && !runner_.Busy());
    organizer_->AddMenuItems(*menu, slot);
    return menu;
}

void TMainWin::ExportSongTakes() { export_->SongTakes(); }

void TMainWin::ExportOneTake(int slot) { export_->OneTake(slot); }

void TMainWin::WavOpenSelectionChange() {
    if (getWin_ == nullptr) return;
    getWin_->SelectedFile = WavOpen->FileName();
    getWin_->ShowFileInfo();
}

void TMainWin::AudBtnClick() {
    Gauge->SetProgress(0);
    InfoText->clear();
    if (!AudBtn->isChecked()) {
        Player().RequestStop();
        return;
    }
    // A click that comes before the stop asked for by the last one has run:
    // that stop goes on, and the button stays up.
    if (Player().Playing()) {
        AudBtn->setChecked(false);
        return;
    }
    if (!Player().Start(selection_.SelectedTakePaths(), LongMode)) {
        Gauge->SetProgress(0);
        AudBtn->setChecked(false);
        dialogs_.MessageBox(this, QString::fromLatin1(trx5::kMsgSoundOutput));
        return;
    }
    playback_ = Playback::Playing;
    SetBusy(true);
    InfoText->AddLine(app_text::AudioPlaying());
}

void TMainWin::AuditionStopping() {
    Gauge->SetProgress(0);
    InfoText->clear();
    // No click is taken while the buffers drain.
    playback_ = Playback::Stopping;
    UpdateCommandStates();
}

void TMainWin::AuditionStopped() {
    playback_ = Playback::Idle;
    SetBusy(false);
    AudBtn->setChecked(false);
}

void TMainWin::BackBtnClick() { backup_->Backup(); }

void TMainWin::RestoreBtnClick() { backup_->Restore(ToQString(CardDir)); }

void TMainWin::RescueBtnClick() { rescue_->Rescue(); }
