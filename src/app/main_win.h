// The main window: the card folder tree, the song list, the 4 x 8 V-Take
// grid with its selections and mixer knobs, and the export, import,
// audition, backup, restore and rescue commands. Its controls are the
// form's; what the user has picked is a SongSelection; the long operations
// run under a TOperationRunner, the backup and restore are a TCardBackup's
// and the rescue a TRescueCard's.
#pragma once

#include <QString>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

#include "app/main_win_form.h"
#include "app/operation_runner.h"
#include "convert/song_selection.h"

class QMenu;
class QPixmap;
class QToolButton;
class DialogProvider;
class TCardBackup;
class TRescueCard;
class TTakeExport;
class TTakeImport;
class TGetWin;
class THelpWin;
class TNfWin;
class TTakeDragDrop;
class TTakeGridKeys;
class TTakeOrganizer;
class TTakeTooltips;
class TVolume;
namespace trx5 {
class Audition;
class SoundOutput;
}  // namespace trx5

class TMainWin : public TMainWinForm {
    Q_OBJECT

  public:
    explicit TMainWin(DialogProvider& dialogs, QWidget* parent = nullptr);
    ~TMainWin() override;

    // The forms the window uses; made by the start-up after the window.
    void AttachForms(TGetWin* getWin, TNfWin* nfWin);
    // The folder the help pages are looked for in (OnLineHelp beside it);
    // the folder of the executable unless told otherwise.
    void SetProgramFolder(const QString& folder);
    // Plays the audition through `output` instead of the default sound
    // device.
    void SetSoundOutput(trx5::SoundOutput& output);
    trx5::Audition& Player();
    TRescueCard& RescueCard() { return *rescue_; }

    THelpWin* HelpWin = nullptr;  // made when first needed
    TTakeDragDrop* TakeDnd;
    TTakeGridKeys* TakeKeys;
    TTakeTooltips* TakeTips;
    QString TitlePrefix;

  private:
    // What the user has picked; the members below name its parts.
    trx5::SongSelection selection_;
    TOperationRunner runner_;

  public:
    std::string& CardDir = selection_.CardDir;          // the chosen folder, ending with "/"
    trx5::TakeFiles& TakeFiles = selection_.TakeFiles;  // by grid slot; empty = no take
    std::array<int, trx5::kTracks>& SelTake = selection_.SelTake;  // per track, -1 none
    int& FirstSel = selection_.FirstSel;    // first import destination track (L/Mono), -1 none
    int& SecondSel = selection_.SecondSel;  // second import destination track (R), -1 none
    bool& LongMode = selection_.LongMode;
    bool& AbortRequested = runner_.AbortRequested;
    int PlayTracks = 0;  // tracks whose selected V-Take has a take file

    // The context menu of a V-Take button, as a right click shows it; the
    // caller owns it.
    QMenu* TakeMenu(int slot);

    // The import destinations: the selection tracks that have a V-Take
    // selected, FirstSel before SecondSel.
    std::vector<trx5::TakeSlot> ImportDestinations() const;

  signals:
    // Raised once per block of an export or import (per step of a rescue),
    // before the window lets pending events run.
    void ProgressStep(quint64 block, quint64 blocks);

  public slots:
    void DirTreeChange(const QString& accessDir);
    void SongNumChange();
    void SpeedButton1Click(QToolButton* sender);
    void Sel1BtnClick(QToolButton* sender);
    void UpdateSelTake(int track);
    void UpdateInfo();
    void Pan1Changed(TVolume* knob, int value);
    void Vol1Changed(TVolume* knob, int value);
    void Pan1GetParentBG(TVolume* knob, QPixmap& bitmap);
    void SetBusy(bool on);
    void AbortBtnClick();
    void SortBtnClick();
    void NewFldrBtnClick();
    void RefBtnClick();
    void HelpBtnClick();
    void ExitBtnClick();
    void ToWavBtnClick();
    void Wav2TakeBtnClick();
    void WavOpenSelectionChange();
    void AudBtnClick();
    void BackBtnClick();
    void RestoreBtnClick();
    // A damaged card's takes into a new folder inside the folder chosen.
    void RescueBtnClick();
    // Every take of the song shown, each as its own file, into a folder.
    void ExportSongTakes();
    // One take as its own file, into a folder.
    void ExportOneTake(int slot);
    // A file dropped on a V-Take button: imported into that V-Take.
    void TakeDropped(int slot, const QString& path);
    // The card's files changed: its songs and the song shown anew, with the
    // selections (another song when the one shown is gone).
    void CardChanged();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    enum class Playback { Idle, Playing, Stopping };

    void ConnectControls();
    // Every command's enabled state, from the folder, the song, the
    // selection, busy mode and the audition.
    void UpdateCommandStates();
    // Blanks the grid, the selections and the read-outs.
    void ClearSongView(bool usable);
    void ShowTake(int slot, const std::string& path);
    trx5::KnobPositions Knobs() const;
    // The help's first page, beside the program or where it is installed;
    // empty when there is none.
    QString HelpIndexPath() const;
    void ShowHelpWindow(const QUrl& page);
    void AuditionStopping();
    void AuditionStopped();

    DialogProvider& dialogs_;
    std::unique_ptr<TCardBackup> backup_;
    TRescueCard* rescue_ = nullptr;  // a child of the window
    std::unique_ptr<TTakeExport> export_;
    std::unique_ptr<TTakeImport> import_;
    std::unique_ptr<TTakeOrganizer> organizer_;
    std::unique_ptr<trx5::SoundOutput> ownOutput_;
    trx5::SoundOutput* output_ = nullptr;
    std::unique_ptr<trx5::Audition> audition_;
    TGetWin* getWin_ = nullptr;
    TNfWin* nfWin_ = nullptr;
    QString programFolder_;
    bool realFolder_ = false;  // the tree reports a folder with a path
    bool cardShown_ = false;   // the chosen folder holds card files
    bool songShown_ = false;   // a song of it is in the grid
    Playback playback_ = Playback::Idle;
};
