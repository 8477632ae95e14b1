// The main window's controls as named members: the front panel with the
// 4 x 8 V-Take grid, the selection lamps, the read-outs and the knobs; the
// command buttons; the folder pane with its tree. The form makes them, lays
// them out, styles them and sets the tab order; what they do is the
// window's.
#pragma once

#include <QSize>
#include <QString>
#include <QWidget>
#include <array>

#include "app/info_text.h"
#include "app/song_list.h"
#include "card/take_file.h"

class QFrame;
class QLabel;
class QPushButton;
class QToolButton;
class TBitPanel;
class TCGauge;
class TDirTreeView;
class TDriveCombo;
class TFileOperation;
class TVersion;
class TVolume;
namespace CustDlgs {
class TCOpenDialog;
}

class TMainWinForm : public QWidget {
    Q_OBJECT

  public:
    explicit TMainWinForm(QWidget* parent = nullptr);

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
    QPushButton* RescueBtn;
    QPushButton* HelpBtn;
    QPushButton* ExitBtn;
    QToolButton* SortBtn;
    QToolButton* NewFldrBtn;
    QToolButton* RefBtn;
    TDirTreeView* DirTree;
    TVersion* Version;
    CustDlgs::TCOpenDialog* WavOpen;
    TFileOperation* FileOp;

    // The same controls by track and grid slot (8 * track + vtake).
    std::array<QToolButton*, trx5::kTracks * trx5::kVTakes> TakeBtns{};
    std::array<QToolButton*, trx5::kTracks> SelBtns{};
    std::array<QLabel*, trx5::kTracks> VLabels{};
    std::array<TVolume*, trx5::kTracks> VolKnobs{};
    std::array<TVolume*, trx5::kTracks> PanKnobs{};
    std::array<QLabel*, trx5::kTracks> FadeLabels{};
    std::array<QLabel*, trx5::kTracks> PanLabels{};

    // The knob read-outs: "0", "L30", "R50"; "100".
    static QString PanText(int position);
    static QString LevelText(int position);

    // The window's smallest size, at which the fixed layout was drawn.
    static constexpr QSize kMinimumSize{632, 446};

  protected:
    // A slot's button with its take's caption, raised; or blank and flat.
    void ShowTakeButton(int slot, bool hasTake);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateControls();
    void SetTabOrder();
};
