// The main window: the card folder tree, the song list, the 4 x 8 V-Take
// grid with its selections and mixer knobs, and the export and import
// commands. It owns the state of the user's work and hands the work itself
// to the core library.
#pragma once

#include <QPointer>
#include <QSize>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "app/info_text.h"
#include "app/song_list.h"
#include "card/take_file.h"
#include "convert/export.h"
#include "convert/import.h"

class QComboBox;
class QFrame;
class QLabel;
class QPixmap;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TBitPanel;
class TCGauge;
class TDirTreeView;
class TDriveCombo;
class THelpWin;
class TTakeDragDrop;
class TTakeGridKeys;
class TTakeTooltips;
class QMenu;
class QMimeData;
class QTemporaryDir;
class TFileOperation;
class TGetWin;
class TNfWin;
class TVersion;
class TVolume;
class DialogProvider;
namespace CustDlgs {
class TCOpenDialog;
}
namespace trx5 {
class Audition;
class SoundOutput;
}  // namespace trx5

class TMainWin : public QWidget {
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

    // Controls, as named members.
    TBitPanel* Panel1;
    QFrame* Panel2;
    QFrame* Panel3;
    QFrame* TreePanel;
    TBitPanel* BtnsPanel;
    QLabel* Label1;
    TSongList* SongNum;
    QLabel* LMonoLabel;
    QLabel* RLabel;
    QPushButton* Wav2TakeBtn;
    QLabel* VwMonoLabel;
    QPushButton* Take2WavBtn;
    QLabel* V1Label;
    QLabel* V2Label;
    QLabel* V3Label;
    QLabel* V4Label;
    QToolButton* AudBtn;
    QToolButton* Sel1Btn;
    QToolButton* Sel2Btn;
    QToolButton* Sel3Btn;
    QToolButton* Sel4Btn;
    TVolume* Pan1;
    TVolume* Pan2;
    TVolume* Pan3;
    TVolume* Pan4;
    TVolume* Vol1;
    TVolume* Vol2;
    TVolume* Vol3;
    TVolume* Vol4;
    QLabel* Pan1Label;
    QLabel* Pan2Label;
    QLabel* Pan3Label;
    QLabel* Pan4Label;
    QLabel* Fade1Label;
    QLabel* Fade2Label;
    QLabel* Fade3Label;
    QLabel* Fade4Label;
    TInfoText* InfoText;
    TCGauge* Gauge;
    QToolButton* AbortBtn;
    QPushButton* BackBtn;
    QLabel* Label2;
    TDriveCombo* DriveCombo;
    QPushButton* RestoreBtn;
    QPushButton* HelpBtn;
    QPushButton* ExitBtn;
    QToolButton* SortBtn;
    QToolButton* NewFldrBtn;
    QToolButton* RefBtn;
    TDirTreeView* DirTree;
    TVersion* Version;
    CustDlgs::TCOpenDialog* WavOpen;
    TFileOperation* FileOp;
    THelpWin* HelpWin = nullptr;  // made when first needed
    TTakeDragDrop* TakeDnd;
    TTakeGridKeys* TakeKeys;
    TTakeTooltips* TakeTips;

    // State of the user's work.
    QString TitlePrefix;
    std::array<QToolButton*, trx5::kTracks * trx5::kVTakes> TakeBtns{};
    trx5::TakeFiles TakeFiles;  // full path per grid slot 8 * track + vtake; empty = no take
    std::string CardDir;        // the chosen folder, ending with "/"
    std::array<QToolButton*, trx5::kTracks> SelBtns{};
    int FirstSel = 0;                          // first import destination track (L/Mono), -1 none
    int SecondSel = 0;                         // second import destination track (R), -1 none
    std::array<int, trx5::kTracks> SelTake{};  // V-Take selected per track, -1 none
    std::array<QLabel*, trx5::kTracks> VLabels{};
    bool LongMode = false;
    int PlayTracks = 0;  // tracks whose selected V-Take has a take file
    std::array<TVolume*, trx5::kTracks> VolKnobs{};
    std::array<TVolume*, trx5::kTracks> PanKnobs{};
    std::array<QLabel*, trx5::kTracks> FadeLabels{};
    std::array<QLabel*, trx5::kTracks> PanLabels{};
    bool AbortRequested = false;

    // The context menu of a V-Take button, as a right click shows it; the
    // caller owns it.
    QMenu* TakeMenu(int slot);

    // The import destinations: the selection tracks that have a V-Take
    // selected, FirstSel before SecondSel.
    std::vector<trx5::TakeSlot> ImportDestinations() const;

    static QString PanText(int position);
    static QString LevelText(int position);

    // The window's smallest size, at which the fixed layout was drawn.
    static constexpr QSize kMinimumSize{632, 446};

  signals:
    // Raised once per block of an export or import, before the window lets
    // pending events run.
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
    // Every take of the song shown, each as its own file, into a folder.
    void ExportSongTakes();
    // One take as its own file, into a folder.
    void ExportOneTake(int slot);
    // A file dropped on a V-Take button: imported into that V-Take.
    void TakeDropped(int slot, const QString& path);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    class WindowProgress;

    void CreateControls();
    void ClearSongView(bool enabled);
    template <typename Engine>
    auto RunWithProgress(const QString& line, Engine engine);
    void SetTabOrder();
    void ShowTake(int slot, const std::string& path);
    void AddInfoLine(const QString& line);
    void SetFlat(QToolButton* button, bool flat);

    // An import into `first` of the song shown; the source is the caller's.
    trx5::ImportRequest ImportRequestFor(trx5::TakeSlot first) const;
    void RunImport(const trx5::ImportRequest& request);
    // The song file number of the song shown (00..99).
    int SongFileNumber() const;
    void RunExport(const trx5::ExportRequest& request);
    // Tells of a failed operation: a line in the information box ("Export
    // failed: x.wav: No space left on device") and a message with the
    // system's sentence, the file and the reason, and a hint when given.
    void ReportFailure(const QString& what, const trx5::Status& failure, const QString& hint = {});
    // Asks before an import replaces a file in a destination's place that
    // is no take; false when the user says no.
    bool ConfirmReplacingDamaged(const std::vector<trx5::TakeSlot>& targets);
    // Asks whether `files` files already in `folder` may be replaced.
    bool ConfirmReplace(std::size_t files, const QString& folder);
    // The take of a slot as a file to drag out, or none.
    QMimeData* TakeDragData(int slot);
    // The help's first page, beside the program or where it is installed;
    // empty when there is none.
    QString HelpIndexPath() const;
    void ShowHelpWindow(const QUrl& page);
    // Whether a card is chosen in the Card Drive list; tells the user when
    // not.
    bool CardDriveChosen();
    // Runs FileOp and shows how it went; true when it succeeded.
    bool RunFileOp(const QString& source, const QString& destination, const QString& title);
    void AuditionStopping();
    void AuditionStopped();

    DialogProvider& dialogs_;
    std::unique_ptr<trx5::SoundOutput> ownOutput_;
    trx5::SoundOutput* output_ = nullptr;
    std::unique_ptr<trx5::Audition> audition_;
    std::unique_ptr<QTemporaryDir> dragFolder_;  // takes dragged out as files
    TGetWin* getWin_ = nullptr;
    TNfWin* nfWin_ = nullptr;
    QString programFolder_;
    bool realFolder_ = false;  // the tree reports a folder with a path
    bool cardShown_ = false;   // the chosen folder holds card files
    bool busy_ = false;
    QPointer<QWidget> focusBeforeBusy_;  // given the focus back after busy mode
};
