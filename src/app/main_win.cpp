#include "app/main_win.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>

#include "app/dialog_provider.h"
#include "app/drive_combo.h"
#include "app/form_style.h"
#include "app/get_win.h"
#include "app/help_win.h"
#include "app/info_text.h"
#include "app/nf_win.h"
#include "app/song_list.h"
#include "app/take_drag_drop.h"
#include "app/take_grid_keys.h"
#include "app/take_tooltip.h"
#include "audiofile/converted_source.h"
#include "backup/card_copy.h"
#include "card/card_info.h"
#include "common/folder.h"
#include "controls/artwork.h"
#include "controls/bitpanel.h"
#include "controls/cgauge.h"
#include "controls/copendlg.h"
#include "controls/dirtreeview.h"
#include "controls/fileoperation.h"
#include "controls/version.h"
#include "controls/volume.h"
#include "convert/export.h"
#include "convert/import.h"
#include "convert/stems.h"
#include "playback/audition.h"
#include "playback/qt_sound_output.h"

namespace {

using trx5::kTracks;
using trx5::kVTakes;

// The audition and the card backup come with later versions; until then
// their buttons stay disabled instead of offering a command that does
// nothing.

constexpr int kSongFileNumberRole = Qt::UserRole;
constexpr int kSongLongModeRole = Qt::UserRole + 1;

const QString kSilverText = QStringLiteral("color: #c0c0c0;");
constexpr QColor kPanelGrey(41, 43, 46);

// The grid's buttons: an empty slot is flat and lets the panel's cell show,
// a slot with a take is a raised key with its name, a selected one is lit;
// the track selection buttons are small lamps.
const QString kGridStyle = QStringLiteral(R"(
QToolButton[role="take"] {
    border: none; background: transparent; color: #10203a;
}
QToolButton[role="take"]:checked {
    background: rgba(255, 166, 32, 120); border: 1px solid #ff9a00;
}
QToolButton[role="take"][autoRaise="false"] {
    border: 1px solid #39465c; border-top-color: #ffffff; border-left-color: #eef2f8;
    border-radius: 2px; font-weight: bold;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fdfeff, stop:1 #bcc7d8);
}
QToolButton[role="take"][autoRaise="false"]:hover {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #d3dcea);
}
QToolButton[role="take"][autoRaise="false"]:checked {
    border: 1px solid #6e4200; border-bottom-color: #ffe2a0; border-right-color: #ffd88a;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f08c00, stop:1 #ffc861);
    color: #1a1000;
}
QToolButton[role="take"]:disabled { color: #8390a6; }
QToolButton[role="select"] {
    border: 1px solid #08090b; border-radius: 2px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #5b626f, stop:1 #262a31);
}
QToolButton[role="select"]:checked {
    border-color: #4a1a00;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffe7a3, stop:0.45 #ff9d2e,
                                stop:1 #d2530a);
}
QToolButton[role="select"]:disabled { border-color: #111317; background: #2b2e35; }
QToolButton[role="take"]:focus { border: 2px solid #ffe45c; }
QToolButton[role="select"]:focus { border: 2px solid #ffe45c; }
)");

// The two halves of a two-image glyph: the button up, the button down; each
// from the 1x and the 2x drawing.
QIcon TwoStateIcon(const QString& file) {
    QIcon icon;
    for (const QPixmap& glyph : {QPixmap(file), Art2x(file)}) {
        if (glyph.isNull()) continue;
        // A copy keeps the glyph's device pixel ratio.
        const int half = glyph.width() / 2;
        icon.addPixmap(glyph.copy(0, 0, half, glyph.height()), QIcon::Normal, QIcon::Off);
        icon.addPixmap(glyph.copy(half, 0, half, glyph.height()), QIcon::Normal, QIcon::On);
    }
    return icon;
}

using trx5::SlotIndex;

QString TrackTakeText(int track, int vtake) {
    return QStringLiteral("TRACK%1-%2").arg(track + 1).arg(vtake + 1);
}

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

QString CaptionText(trx5::TakeSlot slot) { return ToQString(trx5::TakeCaption(slot)); }

QString WithTrailingSlash(const QString& folder) {
    return ToQString(trx5::WithTrailingSlash(folder.toStdString()));
}

}  // namespace

// Lets the window live between blocks: pending events run (so Abort can be
// clicked), then AbortRequested stops the loop, else the gauge moves. Busy
// mode starts with the first block, so an operation that fails before its
// loop leaves the window as it was.
class TMainWin::WindowProgress final : public trx5::Progress {
  public:
    WindowProgress(TMainWin& window, QString startLine)
        : window_(window), startLine_(std::move(startLine)) {}

    ~WindowProgress() override {
        if (started_) {
            window_.SetBusy(false);
            window_.AbortBtn->setEnabled(false);
            window_.AudBtn->setEnabled(window_.PlayTracks >= 1);
        }
    }

    void Start() {
        if (started_) return;
        started_ = true;
        window_.AddInfoLine(startLine_);
        window_.SetBusy(true);
        window_.AbortRequested = false;
        window_.AbortBtn->setEnabled(true);
        // An audition never plays during a conversion.
        window_.AudBtn->setEnabled(false);
    }

    bool Step(std::uint64_t block, std::uint64_t blocks) override {
        Start();
        emit window_.ProgressStep(block, blocks);
        QCoreApplication::processEvents();
        if (window_.AbortRequested) return false;
        window_.Gauge->SetProgress(static_cast<int>(block * 100 / blocks));
        return true;
    }

  private:
    TMainWin& window_;
    QString startLine_;
    bool started_ = false;
};

TMainWin::TMainWin(DialogProvider& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), programFolder_(QCoreApplication::applicationDirPath()) {
    CreateControls();
    TitlePrefix = QStringLiteral("Card Manager for TRX-5 Ver.") + Version->ProductVersion() +
                  QStringLiteral(" - ");
    for (std::string& path : TakeFiles) path.clear();
    CardDir.clear();
}

TMainWin::~TMainWin() = default;

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

void TMainWin::CreateControls() {
    setObjectName(QStringLiteral("MainWin"));
    setFont(FormFont());
    // The client area of a 640 x 480 window with the classic frame, and the
    // smallest the window can be: the front panel keeps its fixed layout,
    // and a larger window gives the folder tree the room.
    setMinimumSize(kMinimumSize);
    resize(kMinimumSize);

    const QFont panelFont = PanelFont();
    const QFont boldItalic = WithStyle(FormFont(), true, true);
    const QFont italic = WithStyle(FormFont(), false, true);

    auto makeLabel = [&](QWidget* parent, const QString& name, const QString& text, int x, int y,
                         int w, int h, const QString& style) {
        auto* label = new QLabel(text, parent);
        label->setObjectName(name);
        label->setFont(panelFont);
        label->setGeometry(x, y, w, h);
        label->setStyleSheet(style);
        return label;
    };

    // Left: the front panel with the grid, the read-outs and the knobs.
    Panel1 = new TBitPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 465, 446);
    Panel1->SetBevelOuter(TBitPanel::bvNone);
    // Around the panel's picture (and below it in a taller window): the
    // picture's own dark grey.
    Panel1->SetColor(kPanelGrey);
    Panel1->SetBitmap(QPixmap(QStringLiteral(":/art/panel1.png")),
                      Art2x(QStringLiteral(":/art/panel1.png")));

    Label1 = new QLabel(QStringLiteral("Song "), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(WithStyle(FormFont(), true, false));
    Label1->setStyleSheet(QStringLiteral("color: white;"));
    Label1->move(305, 9);
    Label1->adjustSize();

    SongNum = new TSongList(Panel1);
    SongNum->setObjectName(QStringLiteral("SongNum"));
    SongNum->setGeometry(348, 6, 81, 20);

    const QString dashes = QStringLiteral("-------------");
    LMonoLabel = makeLabel(Panel1, QStringLiteral("LMonoLabel"), dashes, 308, 62, 150, 11,
                           QStringLiteral("color: black;"));
    RLabel = makeLabel(Panel1, QStringLiteral("RLabel"), dashes, 308, 73, 150, 11,
                       QStringLiteral("color: black;"));

    Wav2TakeBtn = new QPushButton(QStringLiteral("Wav/AIFF -> &V-Take"), Panel1);
    Wav2TakeBtn->setObjectName(QStringLiteral("Wav2TakeBtn"));
    Wav2TakeBtn->setGeometry(308, 87, 145, 28);
    Wav2TakeBtn->setFont(boldItalic);
    Wav2TakeBtn->setEnabled(false);

    VwMonoLabel = makeLabel(Panel1, QStringLiteral("VwMonoLabel"), QStringLiteral("------"), 307,
                            138, 60, 11, kSilverText);

    Take2WavBtn = new QPushButton(QStringLiteral("V-Take -> &Wav/AIFF"), Panel1);
    Take2WavBtn->setObjectName(QStringLiteral("Take2WavBtn"));
    Take2WavBtn->setGeometry(308, 151, 145, 28);
    Take2WavBtn->setFont(boldItalic);
    Take2WavBtn->setEnabled(false);

    QLabel** vLabels[kTracks] = {&V1Label, &V2Label, &V3Label, &V4Label};
    for (int t = 0; t < kTracks; ++t) {
        *vLabels[t] = makeLabel(Panel1, QStringLiteral("V%1Label").arg(t + 1), dashes, 307,
                                194 + 11 * t, 150, 11, kSilverText);
        VLabels[t] = *vLabels[t];
    }

    AudBtn = new QToolButton(Panel1);
    AudBtn->setObjectName(QStringLiteral("AudBtn"));
    AudBtn->setText(QStringLiteral("Audition"));
    AudBtn->setFont(boldItalic);
    AudBtn->setGeometry(308, 243, 142, 25);
    AudBtn->setCheckable(true);
    AudBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    AudBtn->setIcon(TwoStateIcon(QStringLiteral(":/art/audition.png")));
    AudBtn->setFocusPolicy(Qt::StrongFocus);
    AudBtn->setEnabled(false);

    // The grid: one column of V-Take buttons per track, a selection button
    // above each column.
    BtnsPanel = new TBitPanel(Panel1);
    BtnsPanel->setObjectName(QStringLiteral("BtnsPanel"));
    BtnsPanel->setGeometry(46, 38, 245, 187);
    BtnsPanel->SetBevelOuter(TBitPanel::bvNone);
    BtnsPanel->SetColor(QColor(2, 106, 254));
    BtnsPanel->SetBitmap(QPixmap(QStringLiteral(":/art/btnspanel.png")),
                         Art2x(QStringLiteral(":/art/btnspanel.png")));
    BtnsPanel->setStyleSheet(kGridStyle);

    QToolButton** selButtons[kTracks] = {&Sel1Btn, &Sel2Btn, &Sel3Btn, &Sel4Btn};
    for (int t = 0; t < kTracks; ++t) {
        auto* sel = new QToolButton(BtnsPanel);
        sel->setObjectName(QStringLiteral("Sel%1Btn").arg(t + 1));
        sel->setGeometry(21 + 60 * t, 10, 23, 10);
        sel->setCheckable(true);
        sel->setFocusPolicy(Qt::StrongFocus);
        sel->setProperty("tag", t);
        sel->setProperty("role", QStringLiteral("select"));
        sel->setToolTip(QStringLiteral("Import into track %1").arg(t + 1));
        connect(sel, &QToolButton::clicked, this, [this, sel] { Sel1BtnClick(sel); });
        *selButtons[t] = sel;
        SelBtns[t] = sel;

        for (int v = 0; v < kVTakes; ++v) {
            auto* take = new QToolButton(BtnsPanel);
            take->setObjectName(QStringLiteral("SpeedButton%1").arg(10 * t + v + 1));
            take->setGeometry(2 + 60 * t, 34 + 19 * v, 60, 19);
            take->setCheckable(true);
            take->setAutoRaise(true);
            take->setProperty("tag", 10 * t + v);
            take->setProperty("role", QStringLiteral("take"));
            take->setFont(panelFont);
            connect(take, &QToolButton::clicked, this, [this, take] {
                // One column is one group that allows all buttons up: a
                // button going down puts the others of its column up.
                const int track = take->property("tag").toInt() / 10;
                if (take->isChecked()) {
                    for (int other = 0; other < kVTakes; ++other) {
                        QToolButton* b = TakeBtns[SlotIndex(track, other)];
                        if (b != take) b->setChecked(false);
                    }
                }
                SpeedButton1Click(take);
            });
            take->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(take, &QToolButton::customContextMenuRequested, this,
                    [this, take, slot = SlotIndex(t, v)](const QPoint& at) {
                        QMenu* menu = TakeMenu(slot);
                        menu->setAttribute(Qt::WA_DeleteOnClose);
                        menu->popup(take->mapToGlobal(at));
                    });
            TakeBtns[SlotIndex(t, v)] = take;
        }
    }

    // Knobs and their read-outs: pan above level, one pair per track.
    TVolume** pans[kTracks] = {&Pan1, &Pan2, &Pan3, &Pan4};
    TVolume** vols[kTracks] = {&Vol1, &Vol2, &Vol3, &Vol4};
    QLabel** panLabels[kTracks] = {&Pan1Label, &Pan2Label, &Pan3Label, &Pan4Label};
    QLabel** fadeLabels[kTracks] = {&Fade1Label, &Fade2Label, &Fade3Label, &Fade4Label};
    const QString xxx = QStringLiteral("xxx");
    const QString whiteText = QStringLiteral("color: white;");
    for (int t = 0; t < kTracks; ++t) {
        auto makeKnob = [&](const QString& name, int top, int max, int position) {
            auto* knob = new TVolume(Panel1);
            knob->setObjectName(name);
            knob->setGeometry(62 + 60 * t, top, 20, 20);
            knob->setProperty("tag", t);
            knob->SetMax(max);
            knob->SetPosition(position);
            knob->SetBGnorm(QPixmap(QStringLiteral(":/art/knob_norm.png")),
                            Art2x(QStringLiteral(":/art/knob_norm.png")));
            knob->SetBGfoced(QPixmap(QStringLiteral(":/art/knob_focused.png")),
                             Art2x(QStringLiteral(":/art/knob_focused.png")));
            knob->SetBGdis(QPixmap(QStringLiteral(":/art/knob_disabled.png")),
                           Art2x(QStringLiteral(":/art/knob_disabled.png")));
            knob->SetColor(Qt::gray);
            connect(knob, &TVolume::OnGetParentBG, this, &TMainWin::Pan1GetParentBG);
            return knob;
        };
        *pans[t] =
            makeKnob(QStringLiteral("Pan%1").arg(t + 1), 233, trx5::kMaxPan, trx5::kCentrePan);
        *vols[t] =
            makeKnob(QStringLiteral("Vol%1").arg(t + 1), 253, trx5::kMaxLevel, trx5::kUnityLevel);
        connect(*pans[t], &TVolume::OnChanged, this, &TMainWin::Pan1Changed);
        connect(*vols[t], &TVolume::OnChanged, this, &TMainWin::Vol1Changed);
        // The tooltips read as the value labels do ("L30", "100").
        (*pans[t])->SetValueText(&TMainWin::PanText);
        (*vols[t])->SetValueText(&TMainWin::LevelText);
        PanKnobs[t] = *pans[t];
        VolKnobs[t] = *vols[t];

        *panLabels[t] = makeLabel(Panel1, QStringLiteral("Pan%1Label").arg(t + 1), xxx, 86 + 60 * t,
                                  238, 24, 12, whiteText);
        *fadeLabels[t] = makeLabel(Panel1, QStringLiteral("Fade%1Label").arg(t + 1), xxx,
                                   86 + 60 * t, 256, 24, 12, whiteText);
        (*panLabels[t])->setAlignment(Qt::AlignCenter);
        (*fadeLabels[t])->setAlignment(Qt::AlignCenter);
        PanLabels[t] = *panLabels[t];
        FadeLabels[t] = *fadeLabels[t];
    }

    InfoText = new TInfoText(Panel1);
    InfoText->setObjectName(QStringLiteral("InfoText"));
    InfoText->setGeometry(32, 300, 397, 22);

    Gauge = new TCGauge(Panel1);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setGeometry(32, 326, 345, 16);
    Gauge->SetForeColor(Qt::blue);

    AbortBtn = new QToolButton(Panel1);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setText(QStringLiteral("Abort"));
    AbortBtn->setFont(boldItalic);
    AbortBtn->setGeometry(388, 326, 44, 17);
    AbortBtn->setFocusPolicy(Qt::NoFocus);
    AbortBtn->setCursor(Qt::WaitCursor);
    AbortBtn->setEnabled(false);

    BackBtn = new QPushButton(ArtIcon(QStringLiteral(":/art/backup.png")),
                              QStringLiteral("&Back up your Card"), Panel1);
    BackBtn->setObjectName(QStringLiteral("BackBtn"));
    BackBtn->setGeometry(32, 352, 220, 25);
    BackBtn->setEnabled(true);

    Label2 = new QLabel(QStringLiteral("Card Drive "), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setStyleSheet(kSilverText);
    Label2->move(283, 351);
    Label2->adjustSize();

    DriveCombo = new TDriveCombo(Panel1);
    DriveCombo->setObjectName(QStringLiteral("DriveCombo"));
    DriveCombo->setGeometry(276, 364, 145, 18);

    RestoreBtn = new QPushButton(ArtIcon(QStringLiteral(":/art/restore.png")),
                                 QStringLiteral("&Restore your Card"), Panel1);
    RestoreBtn->setObjectName(QStringLiteral("RestoreBtn"));
    RestoreBtn->setGeometry(32, 384, 220, 25);
    RestoreBtn->setEnabled(false);

    HelpBtn = new QPushButton(QStringLiteral("&Help"), Panel1);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setGeometry(270, 390, 80, 20);
    HelpBtn->setFont(boldItalic);

    ExitBtn = new QPushButton(QStringLiteral("&Exit"), Panel1);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    ExitBtn->setGeometry(354, 390, 80, 20);
    ExitBtn->setFont(boldItalic);

    // Right: the folder pane with its button bar over the tree.
    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(465, 0, 167, 446);

    Panel3 = new QFrame(Panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(0, 0, 167, 30);
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Sunken);

    auto makeBarButton = [&](const char* name, const QString& text, const QString& hint, int x,
                             int w, const QFont& font) {
        auto* button = new QToolButton(Panel3);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setToolTip(hint);
        button->setFont(font);
        button->setGeometry(x, 5, w, 21);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    SortBtn = makeBarButton("SortBtn", QStringLiteral("&Sort"),
                            QStringLiteral("Sort Tree by Alphabetical"), 6, 40, boldItalic);
    NewFldrBtn = makeBarButton("NewFldrBtn", QStringLiteral("&New"),
                               QStringLiteral("Make a new folder"), 50, 40, boldItalic);
    NewFldrBtn->setEnabled(false);
    RefBtn = makeBarButton("RefBtn", QStringLiteral("Re&fresh"),
                           QStringLiteral("Refresh folder information"), 94, 50, italic);

    TreePanel = new QFrame(Panel2);
    TreePanel->setObjectName(QStringLiteral("TreePanel"));
    TreePanel->setGeometry(0, 30, 167, 416);
    TreePanel->setFrameShape(QFrame::Panel);
    TreePanel->setFrameShadow(QFrame::Raised);

    DirTree = new TDirTreeView(TreePanel);
    DirTree->setObjectName(QStringLiteral("DirTree"));
    DirTree->setGeometry(1, 1, 165, 414);
    DirTree->setIndentation(19);

    Version = new TVersion(this);
    Version->setObjectName(QStringLiteral("Version"));

    FileOp = new TFileOperation(this);
    FileOp->setObjectName(QStringLiteral("FileOp"));
    FileOp->SetOperationFlag(TFileOperation::fofFilesOnly | TFileOperation::fofNoConfirmation |
                             TFileOperation::fofNoConfirmMkDir | TFileOperation::fofSimpleProgress);
    FileOp->SetParentWidget(this);
    // The copy's own error window goes through the window's dialogs too.
    FileOp->SetErrorDisplay([this](const QString& text) { dialogs_.MessageBox(this, text); });

    WavOpen = new CustDlgs::TCOpenDialog(this);
    WavOpen->setObjectName(QStringLiteral("WavOpen"));
    // Every format the import reads comes first, so a musician's FLAC or MP3
    // files show at once.
    WavOpen->SetFilter(QStringLiteral(
        "All audio files(*.wav;*.aif;*.aiff;*.aifc;*.flac;*.ogg;*.oga;*.opus;*.mp3;*.w64;*.caf;"
        "*.rf64)|*.wav;*.aif;*.aiff;*.aifc;*.flac;*.ogg;*.oga;*.opus;*.mp3;*.w64;*.caf;*.rf64|"
        "Audio(*.wav;*.aif)|*.wav;*.aif|Windows Wave(*.wav)|*.wav|AIFF(*.aif)|*.aif"));
    WavOpen->SetDefaultExt(QStringLiteral("wav"));
    WavOpen->SetInitialDir(QStringLiteral("."));
    WavOpen->SetOptions(CustDlgs::TCOpenDialog::ofHideReadOnly |
                        CustDlgs::TCOpenDialog::ofFileMustExist |
                        CustDlgs::TCOpenDialog::ofEnableSizing);
    WavOpen->SetSubFormPos(CustDlgs::fpBottom);
    WavOpen->SetSubFormAnchors(CustDlgs::faLeft | CustDlgs::faTop | CustDlgs::faRight |
                               CustDlgs::faBottom);
    WavOpen->SetDialogSizing(true);

    connect(SongNum, &QComboBox::currentIndexChanged, this, [this] { SongNumChange(); });
    connect(Wav2TakeBtn, &QPushButton::clicked, this, &TMainWin::Wav2TakeBtnClick);
    connect(Take2WavBtn, &QPushButton::clicked, this, &TMainWin::ToWavBtnClick);
    connect(AudBtn, &QToolButton::clicked, this, &TMainWin::AudBtnClick);
    connect(BackBtn, &QPushButton::clicked, this, &TMainWin::BackBtnClick);
    connect(RestoreBtn, &QPushButton::clicked, this, &TMainWin::RestoreBtnClick);
    connect(WavOpen, &CustDlgs::TCOpenDialog::OnSelectionChange, this,
            &TMainWin::WavOpenSelectionChange);
    connect(AbortBtn, &QToolButton::clicked, this, &TMainWin::AbortBtnClick);
    connect(SortBtn, &QToolButton::clicked, this, &TMainWin::SortBtnClick);
    connect(NewFldrBtn, &QToolButton::clicked, this, &TMainWin::NewFldrBtnClick);
    connect(RefBtn, &QToolButton::clicked, this, &TMainWin::RefBtnClick);
    connect(HelpBtn, &QPushButton::clicked, this, &TMainWin::HelpBtnClick);
    connect(ExitBtn, &QPushButton::clicked, this, &TMainWin::ExitBtnClick);
    connect(DirTree, &TDirTreeView::OnChange, this, &TMainWin::DirTreeChange);

    TakeDnd = new TTakeDragDrop(
        TakeBtns, [this](int slot) { return TakeDragData(slot); }, this);
    TakeDnd->SetDragRunner(
        [this](QToolButton* source, QMimeData* data) { dialogs_.StartDrag(source, data); });
    // The import of a dropped file asks questions and lets events run: it
    // starts once the drop's handler has returned.
    connect(TakeDnd, &TTakeDragDrop::FileDropped, this, &TMainWin::TakeDropped,
            Qt::QueuedConnection);
    TakeKeys = new TTakeGridKeys(TakeBtns, this);
    TakeTips = new TTakeTooltips(
        TakeBtns,
        [this](int slot) {
            return TTakeTooltips::Take{TakeFiles[slot], LongMode};
        },
        this);

    SetTabOrder();
    DirTree->setFocus();
}

void TMainWin::SetTabOrder() {
    // The song, the import destinations and the grid (one stop: its arrow
    // keys move within it), the commands, the knobs, the tree.
    std::vector<QWidget*> order = {SongNum, Sel1Btn, Sel2Btn, Sel3Btn, Sel4Btn};
    order.insert(order.end(), TakeBtns.begin(), TakeBtns.end());
    QWidget* const rest[] = {Wav2TakeBtn, Take2WavBtn, AudBtn,  InfoText, BackBtn, DriveCombo,
                             RestoreBtn,  HelpBtn,     ExitBtn, Pan1,     Pan2,    Pan3,
                             Pan4,        Vol1,        Vol2,    Vol3,     Vol4,    DirTree};
    for (QWidget* w : rest) order.push_back(w);
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

std::vector<trx5::TakeSlot> TMainWin::ImportDestinations() const {
    std::vector<trx5::TakeSlot> targets;
    for (int track : {FirstSel, SecondSel}) {
        if (track >= 0 && track < kTracks && SelTake[track] >= 0) {
            targets.push_back({track, SelTake[track]});
        }
    }
    return targets;
}

QString TMainWin::PanText(int position) {
    if (position == 50) return QStringLiteral("0");
    if (position < 50) return QStringLiteral("L%1").arg(50 - position);
    return QStringLiteral("R%1").arg(position - 50);
}

QString TMainWin::LevelText(int position) { return QString::number(position); }

void TMainWin::SetFlat(QToolButton* button, bool flat) {
    if (button->autoRaise() == flat) return;
    button->setAutoRaise(flat);
    // The look depends on the property, so the style sheet is applied anew.
    button->style()->unpolish(button);
    button->style()->polish(button);
}

void TMainWin::AddInfoLine(const QString& line) { InfoText->AddLine(line); }

void TMainWin::ShowTake(int slot, const std::string& path) {
    QToolButton* button = TakeBtns[slot];
    button->setText(CaptionText(trx5::SlotAt(slot)));
    SetFlat(button, false);
    TakeFiles[slot] = path;
}

void TMainWin::DirTreeChange(const QString& accessDir) {
    setWindowTitle(TitlePrefix + accessDir);
    realFolder_ = !accessDir.isEmpty();
    NewFldrBtn->setEnabled(realFolder_);
    BackBtn->setEnabled(realFolder_);
    RestoreBtn->setEnabled(false);
    cardShown_ = false;

    // A virtual tree item has no path: the card test then looks at the
    // root folder.
    CardDir = realFolder_ ? trx5::WithTrailingSlash(accessDir.toStdString()) : std::string("/");

    ClearSongView(false);
    for (int t = 0; t < kTracks; ++t) {
        PanLabels[t]->clear();
        FadeLabels[t]->clear();
        PanKnobs[t]->setEnabled(false);
        VolKnobs[t]->setEnabled(false);
    }

    {
        const QSignalBlocker block(SongNum);
        SongNum->clear();
    }
    SongNum->setEnabled(false);

    if (!trx5::CheckMachineFile(CardDir)) return;
    for (const std::string& note : trx5::CardFolderNotes(CardDir)) AddInfoLine(ToQString(note));
    const std::vector<trx5::SongEntry> songs = trx5::ListSongs(CardDir);
    if (songs.empty()) return;
    {
        const QSignalBlocker block(SongNum);
        for (const trx5::SongEntry& song : songs) {
            SongNum->addItem(ToQString(song.ListText()));
            const int index = SongNum->count() - 1;
            SongNum->setItemData(index, song.fileNumber, kSongFileNumberRole);
            SongNum->setItemData(index, song.longMode, kSongLongModeRole);
        }
        SongNum->setCurrentIndex(0);
    }
    SongNum->setEnabled(true);
    SongNumChange();
    cardShown_ = true;
    RestoreBtn->setEnabled(true);
}

// Blanks the grid, the selections and the read-outs; the grid and the
// selection buttons are left usable only when a song is shown.
void TMainWin::ClearSongView(bool enabled) {
    for (int t = 0; t < kTracks; ++t) {
        for (int v = 0; v < kVTakes; ++v) {
            QToolButton* button = TakeBtns[SlotIndex(t, v)];
            button->setText(QString());
            button->setEnabled(enabled);
            SetFlat(button, true);
            button->setChecked(false);
            TakeFiles[SlotIndex(t, v)].clear();
        }
        SelBtns[t]->setChecked(false);
        SelBtns[t]->setEnabled(enabled);
        SelTake[t] = -1;
        VLabels[t]->clear();
    }
    FirstSel = -1;
    SecondSel = -1;
    Take2WavBtn->setEnabled(false);
    Wav2TakeBtn->setEnabled(false);
    AudBtn->setEnabled(false);
    LMonoLabel->clear();
    RLabel->clear();
    VwMonoLabel->clear();
}

void TMainWin::SongNumChange() {
    ClearSongView(true);

    // The entry carries its song's file number and mode.
    const int entry = SongNum->currentIndex();
    const int fileNumber = entry < 0 ? 0 : SongNum->itemData(entry, kSongFileNumberRole).toInt();
    const bool longMode = entry >= 0 && SongNum->itemData(entry, kSongLongModeRole).toBool();

    for (int t = 0; t < kTracks; ++t) {
        Vol1Changed(VolKnobs[t], VolKnobs[t]->Position());
        Pan1Changed(PanKnobs[t], PanKnobs[t]->Position());
        VolKnobs[t]->setEnabled(true);
        PanKnobs[t]->setEnabled(true);
    }

    const trx5::TakeFiles found = trx5::FindTakeFiles(CardDir, fileNumber);
    for (int slot = 0; slot < kTracks * kVTakes; ++slot) {
        if (!found[slot].empty()) ShowTake(slot, found[slot]);
    }
    LongMode = longMode;
}

void TMainWin::SpeedButton1Click(QToolButton* sender) {
    const int track = sender->property("tag").toInt() / 10;
    UpdateSelTake(track);
    UpdateInfo();
}

void TMainWin::UpdateSelTake(int track) {
    SelTake[track] = -1;
    for (int v = 0; v < kVTakes; ++v) {
        if (TakeBtns[SlotIndex(track, v)]->isChecked()) {
            SelTake[track] = v;
            return;
        }
    }
}

void TMainWin::Sel1BtnClick(QToolButton* sender) {
    const int track = sender->property("tag").toInt();
    if (sender->isChecked()) {
        if (FirstSel == -1) {
            FirstSel = track;
        } else if (SecondSel == -1) {
            SecondSel = track;
        } else {
            // A third choice drops the oldest.
            SelBtns[FirstSel]->setChecked(false);
            FirstSel = SecondSel;
            SecondSel = track;
        }
    } else if (SecondSel == track) {
        SecondSel = -1;
    } else if (FirstSel == track) {
        FirstSel = SecondSel;
        SecondSel = -1;
    }
    UpdateSelTake(track);
    UpdateInfo();
}

void TMainWin::UpdateInfo() {
    Wav2TakeBtn->setEnabled(false);
    LMonoLabel->clear();
    RLabel->clear();

    const std::vector<trx5::TakeSlot> destinations = ImportDestinations();
    if (destinations.size() == 1) {
        LMonoLabel->setText(QStringLiteral("Mono"));
    } else if (destinations.size() == 2) {
        LMonoLabel->setText(QStringLiteral("L/Mono :") +
                            TrackTakeText(destinations[0].track, destinations[0].vtake));
        RLabel->setText(QStringLiteral("R      :") +
                        TrackTakeText(destinations[1].track, destinations[1].vtake));
    }
    if (!destinations.empty()) Wav2TakeBtn->setEnabled(true);

    Take2WavBtn->setEnabled(false);
    AudBtn->setEnabled(false);
    PlayTracks = 0;
    VwMonoLabel->clear();
    for (int t = 0; t < kTracks; ++t) {
        VLabels[t]->clear();
        if (SelTake[t] < 0) continue;
        const std::string& path = TakeFiles[SlotIndex(t, SelTake[t])];
        if (path.empty()) continue;
        const std::optional<std::uint64_t> blocks = trx5::TakeFileBlocks(path);
        if (!blocks) continue;
        const std::uint64_t ms = trx5::TakeLengthMs(*blocks, LongMode);
        VLabels[t]->setText(QStringLiteral("Track%1  ").arg(t + 1) +
                            ToQString(trx5::FormatTakeLength(ms)));
        AudBtn->setEnabled(true);
        Take2WavBtn->setEnabled(true);
        ++PlayTracks;
    }
    if (PlayTracks == 1) VwMonoLabel->setText(QStringLiteral("Mono"));
    if (PlayTracks >= 2) VwMonoLabel->setText(QStringLiteral("Stereo"));
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

void TMainWin::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(0, Panel1->height(), Panel1->width(), height() - Panel1->height(), kPanelGrey);
}

void TMainWin::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int paneWidth = width() - Panel2->x();
    Panel2->resize(paneWidth, height());
    Panel3->resize(paneWidth, Panel3->height());
    TreePanel->resize(paneWidth, height() - TreePanel->y());
    DirTree->resize(TreePanel->width() - 2, TreePanel->height() - 2);
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
    if (busy_) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TMainWin::SetBusy(bool on) {
    busy_ = on;
    if (on) {
        // Disabling the button that has the focus moves it on; it comes back
        // when the operation is over.
        focusBeforeBusy_ = QApplication::focusWidget();
        for (QWidget* w : std::initializer_list<QWidget*>{
                 Take2WavBtn, Wav2TakeBtn, TreePanel, ExitBtn, BtnsPanel, SortBtn, NewFldrBtn,
                 SongNum, BackBtn, RestoreBtn, DriveCombo, RefBtn, HelpBtn}) {
            w->setEnabled(false);
        }
        return;
    }
    // Leaving busy mode gives every command back the state the window's
    // folder, song and selections call for.
    Take2WavBtn->setEnabled(PlayTracks >= 1);
    TreePanel->setEnabled(true);
    ExitBtn->setEnabled(true);
    BtnsPanel->setEnabled(true);
    SortBtn->setEnabled(true);
    NewFldrBtn->setEnabled(realFolder_);
    SongNum->setEnabled(cardShown_);
    BackBtn->setEnabled(realFolder_);
    RestoreBtn->setEnabled(cardShown_);
    DriveCombo->setEnabled(true);
    RefBtn->setEnabled(true);
    HelpBtn->setEnabled(true);
    Wav2TakeBtn->setEnabled(!ImportDestinations().empty());
    if (focusBeforeBusy_ != nullptr && focusBeforeBusy_->isEnabled()) focusBeforeBusy_->setFocus();
    focusBeforeBusy_ = nullptr;
}

void TMainWin::AbortBtnClick() { AbortRequested = true; }

void TMainWin::SortBtnClick() { DirTree->AlphaSort(); }

void TMainWin::NewFldrBtnClick() {
    if (nfWin_ == nullptr) return;
    const std::optional<QString> name = dialogs_.NewFolderName(*nfWin_);
    if (!name) return;
    const QString folder = WithTrailingSlash(DirTree->GetDirectory());
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
        dialogs_.MessageBox(this, QStringLiteral("Help file couldn't be found."));
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

// Runs an engine under the window's progress (busy mode, gauge, Abort),
// then restores the pointer and clears the gauge. An operation without a
// single block still reports its line.
template <typename Engine>
auto TMainWin::RunWithProgress(const QString& line, Engine engine) {
    auto outcome = [&] {
        WindowProgress progress(*this, line);
        auto result = engine(progress);
        if (result) progress.Start();
        Gauge->SetProgress(100);
        QApplication::restoreOverrideCursor();
        return result;
    }();
    Gauge->SetProgress(0);
    return outcome;
}

void TMainWin::ToWavBtnClick() {
    const std::optional<SaveChoice> choice = dialogs_.GetSaveFileName(this);
    if (!choice) return;

    trx5::ExportRequest request;
    request.outputPath = choice->fileName.toStdString();
    request.format = trx5::ChooseExportFormat(request.outputPath,
                                              choice->flacFilter   ? trx5::ExportFormat::Flac
                                              : choice->aiffFilter ? trx5::ExportFormat::Aiff
                                                                   : trx5::ExportFormat::Wav);
    request.longMode = LongMode;
    for (int t = 0; t < kTracks; ++t) {
        if (SelTake[t] >= 0) request.takePaths[t] = TakeFiles[SlotIndex(t, SelTake[t])];
        // The knobs are read once; moving them during the export changes
        // nothing of it.
        request.levels[t] = VolKnobs[t]->Position();
        request.pans[t] = PanKnobs[t]->Position();
    }
    RunExport(request);
}

void TMainWin::RunExport(const trx5::ExportRequest& request) {
    Gauge->SetProgress(0);
    InfoText->clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    const QString name = ToQString(request.outputPath);
    const auto result = RunWithProgress(
        QStringLiteral("Creating ") + name + QStringLiteral("..."),
        [&](trx5::Progress& progress) { return trx5::ExportTakes(request, progress); });
    if (!result) {
        ReportFailure(QStringLiteral("Export failed"), result.status());
        return;
    }
    if (result->cancelled) {
        AddInfoLine(name + QStringLiteral(" created, with what was written before Abort."));
        return;
    }
    AddInfoLine(name + QStringLiteral(" created."));
}

void TMainWin::Wav2TakeBtnClick() {
    const std::vector<trx5::TakeSlot> destinations = ImportDestinations();
    if (destinations.empty() || !ConfirmReplacingDamaged(destinations)) return;
    WavOpen->SetSubForm(getWin_);
    if (getWin_ != nullptr) getWin_->SetSong(LongMode, destinations.size() == 1);
    const QString source = dialogs_.GetOpenFileName(*WavOpen);
    if (source.isEmpty()) return;

    trx5::ImportRequest request = ImportRequestFor(destinations[0]);
    if (destinations.size() > 1) request.second = destinations[1];
    request.sourcePath = source.toStdString();
    if (getWin_ != nullptr) {
        request.keepRate = getWin_->KeepRateBox->isChecked();
        request.mixToMono = destinations.size() == 1 && getWin_->MixBox->isChecked();
    }
    RunImport(request);
}

trx5::ImportRequest TMainWin::ImportRequestFor(trx5::TakeSlot first) const {
    trx5::ImportRequest request;
    request.cardDir = CardDir;
    request.fileNumber = SongFileNumber();
    request.longMode = LongMode;
    request.first = first;
    return request;
}

void TMainWin::RunImport(const trx5::ImportRequest& request) {
    Gauge->SetProgress(0);
    InfoText->clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto result = RunWithProgress(
        QStringLiteral("Writing to Takes"),
        [&](trx5::Progress& progress) { return trx5::ImportTakes(request, progress); });

    if (!result) {
        // A rate that cannot be converted can still be taken as it is.
        const bool rateHint = result.code() == trx5::ErrorCode::CannotConvert && !request.keepRate;
        ReportFailure(QStringLiteral("Import failed"), result.status(),
                      rateHint ? QStringLiteral("\"Keep samples as they are\" in the import "
                                                "dialog takes them as they are.")
                               : QString());
        UpdateInfo();
        return;
    }
    // A stop (also while the file was still being counted) writes nothing.
    if (result->cancelled || result->takePaths.empty()) {
        AddInfoLine(QString::fromLatin1(trx5::kMsgImportCanceled));
        UpdateInfo();
        return;
    }
    // The takes are in place only now that the engine has renamed them.
    for (const std::string& path : result->takePaths) {
        const std::string fileName = QFileInfo(ToQString(path)).fileName().toStdString();
        if (const auto slot = trx5::ParseTakeFileName(fileName, request.fileNumber)) {
            ShowTake(SlotIndex(*slot), path);
        }
    }
    AddInfoLine(QStringLiteral("Take(s) have been generated."));
    UpdateInfo();
}

void TMainWin::TakeDropped(int slot, const QString& path) {
    if (busy_ || !cardShown_) return;
    const trx5::TakeSlot take = trx5::SlotAt(slot);
    // A take that is there is replaced only when the user says so.
    if (!TakeFiles[slot].empty() &&
        !dialogs_.Confirm(this, QStringLiteral("Replace take %1?").arg(CaptionText(take)),
                          QCoreApplication::applicationName())) {
        return;
    }
    if (!ConfirmReplacingDamaged({take})) return;
    trx5::ImportRequest request = ImportRequestFor(take);
    request.sourcePath = path.toStdString();
    RunImport(request);
}

QMenu* TMainWin::TakeMenu(int slot) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("TakeMenu"));
    // The exports run dialogs and let events run while they work: they start
    // from the event loop once the menu has closed (and may be deleted), never
    // inside the menu's own handler.
    QAction* all = menu->addAction(QStringLiteral("Export all takes of this song..."));
    connect(all, &QAction::triggered, this, &TMainWin::ExportSongTakes, Qt::QueuedConnection);
    QAction* one = menu->addAction(QStringLiteral("Export this take..."));
    one->setEnabled(!TakeFiles[slot].empty());
    connect(
        one, &QAction::triggered, this, [this, slot] { ExportOneTake(slot); },
        Qt::QueuedConnection);
    all->setEnabled(cardShown_ && !busy_);
    one->setEnabled(one->isEnabled() && !busy_);
    return menu;
}

int TMainWin::SongFileNumber() const {
    const int entry = SongNum->currentIndex();
    return entry < 0 ? 0 : SongNum->itemData(entry, kSongFileNumberRole).toInt();
}

void TMainWin::ExportSongTakes() {
    const QString folder =
        dialogs_.GetFolder(this, QStringLiteral("Export all takes of this song"));
    if (folder.isEmpty()) return;
    Gauge->SetProgress(0);
    InfoText->clear();
    trx5::StemsRequest request;
    request.cardDir = CardDir;
    request.fileNumber = SongFileNumber();
    request.outputFolder = folder.toStdString();
    const std::size_t existing = trx5::StemsExistingFiles(request).size();
    if (existing > 0 && !ConfirmReplace(existing, folder)) return;
    request.replaceExisting = true;
    std::vector<std::string> written;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto result = RunWithProgress(
        QStringLiteral("Exporting the takes to ") + folder + QStringLiteral("..."),
        [&](trx5::Progress& progress) { return trx5::ExportStems(request, progress, written); });
    // The stems finished before a failure or an Abort are there, whole.
    for (const std::string& file : written) {
        AddInfoLine(ToQString(file) + QStringLiteral(" created."));
    }
    if (!result) {
        // The failure names the file it concerns; a failed card check names
        // none and is told as the reason.
        const trx5::Status& failure = result.status();
        ReportFailure(
            QStringLiteral("Export failed"),
            failure.path().empty()
                ? trx5::Status::Fail(failure.code(), trx5::kMsgCannotWrite, failure.message())
                : failure);
    } else if (result->cancelled) {
        AddInfoLine(QStringLiteral("Export canceled; the files written before stay."));
    }
}

void TMainWin::ExportOneTake(int slot) {
    if (TakeFiles[slot].empty()) return;
    const QString folder = dialogs_.GetFolder(this, QStringLiteral("Export this take"));
    if (folder.isEmpty()) return;
    const trx5::TakeSlot take = trx5::SlotAt(slot);
    trx5::ExportRequest request;
    request.longMode = LongMode;
    request.takePaths[take.track] = TakeFiles[slot];
    request.outputPath = trx5::WithTrailingSlash(folder.toStdString()) +
                         trx5::StemFileName(SongFileNumber() + 1, take.track + 1, take.vtake + 1,
                                            trx5::ExportFormat::Wav);
    if (QFileInfo::exists(ToQString(request.outputPath)) && !ConfirmReplace(1, folder)) return;
    RunExport(request);
}

void TMainWin::ReportFailure(const QString& what, const trx5::Status& failure,
                             const QString& hint) {
    // The file and the reason are part of the visible text, beside the
    // system's sentence.
    QString why = ToQString(failure.reason());
    if (!failure.path().empty()) {
        why = ToQString(failure.path()) + (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    }
    const QString sentence = ToQString(failure.message());
    AddInfoLine(what + QStringLiteral(": ") + (why.isEmpty() ? sentence : why));
    QString text = sentence;
    if (!why.isEmpty()) text += QLatin1Char('\n') + why;
    if (!hint.isEmpty()) text += QLatin1Char('\n') + hint;
    dialogs_.MessageBox(this, text);
}

bool TMainWin::ConfirmReplacingDamaged(const std::vector<trx5::TakeSlot>& targets) {
    for (const trx5::TakeSlot& slot : targets) {
        if (!TakeFiles[SlotIndex(slot)].empty()) continue;
        const std::string path = trx5::FindFileNoCase(
            CardDir, trx5::TakeFileName(SongFileNumber(), slot.track, slot.vtake));
        if (path.empty()) continue;
        const QString text = QStringLiteral(
                                 "%1 in the place of take %2 is not a take (damaged?). "
                                 "Replace it?")
                                 .arg(QFileInfo(ToQString(path)).fileName(), CaptionText(slot));
        if (!dialogs_.Confirm(this, text, QCoreApplication::applicationName())) return false;
    }
    return true;
}

bool TMainWin::ConfirmReplace(std::size_t files, const QString& folder) {
    const QString text =
        files == 1 ? QStringLiteral("Replace 1 existing file in %1?").arg(folder)
                   : QStringLiteral("Replace %1 existing files in %2?").arg(files).arg(folder);
    return dialogs_.Confirm(this, text, QCoreApplication::applicationName());
}

QMimeData* TMainWin::TakeDragData(int slot) {
    if (busy_ || TakeFiles[slot].empty()) return nullptr;
    if (!dragFolder_) dragFolder_ = std::make_unique<QTemporaryDir>();
    const int fileNumber = SongFileNumber();
    const trx5::TakeSlot take = trx5::SlotAt(slot);
    trx5::ExportRequest request;
    request.longMode = LongMode;
    request.takePaths[take.track] = TakeFiles[slot];
    request.format = trx5::ExportFormat::Wav;
    request.outputPath =
        trx5::WithTrailingSlash(dragFolder_->path().toStdString()) +
        trx5::StemFileName(fileNumber + 1, take.track + 1, take.vtake + 1, trx5::ExportFormat::Wav);
    trx5::NoProgress quiet;
    const auto result = trx5::ExportTakes(request, quiet);
    if (!result) {
        ReportFailure(QStringLiteral("Drag failed"), result.status());
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(ToQString(request.outputPath))});
    return data;
}

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
    trx5::Audition::TakePaths paths;
    for (int t = 0; t < kTracks; ++t) {
        if (SelTake[t] >= 0) paths[t] = TakeFiles[SlotIndex(t, SelTake[t])];
    }
    if (!Player().Start(paths, LongMode)) {
        Gauge->SetProgress(0);
        AudBtn->setChecked(false);
        dialogs_.MessageBox(this, QString::fromLatin1(trx5::kMsgSoundOutput));
        return;
    }
    SetBusy(true);
    AddInfoLine(QStringLiteral("Audio playing..."));
}

void TMainWin::AuditionStopping() {
    Gauge->SetProgress(0);
    InfoText->clear();
    // No click is taken while the buffers drain.
    AudBtn->setEnabled(false);
}

void TMainWin::AuditionStopped() {
    AudBtn->setEnabled(true);
    SetBusy(false);
    AudBtn->setChecked(false);
}

namespace {

// The card root as the window shows it: the mount folder without a
// trailing "/" (the file system's root stays "/").
QString ShownRoot(QString root) {
    while (root.size() > 1 && root.endsWith(QLatin1Char('/'))) root.chop(1);
    return root;
}

// A folder and a pattern in it.
QString InFolder(const QString& folder, const char* pattern) {
    return WithTrailingSlash(folder) + QLatin1String(pattern);
}

}  // namespace

bool TMainWin::RunFileOp(const QString& source, const QString& destination, const QString& title) {
    FileOp->FileFrom().clear();
    FileOp->FileTo().clear();
    FileOp->FileFrom() << InFolder(source, "*.tx5") << InFolder(source, "*.aud");
    FileOp->FileTo() << destination;
    FileOp->SetProgressTitle(title);
    const bool failed = FileOp->Execute();
    const QString canceled = QStringLiteral("Operation canceled");
    if (FileOp->Aborted()) AddInfoLine(canceled);
    // The files left out, and after a cancel which songs were copied.
    for (const QString& line : FileOp->Notes()) AddInfoLine(line);
    if (!failed) {
        dialogs_.MessageBox(this, QStringLiteral("Done."));
        return true;
    }
    // A failure has been shown already, with the file and the reason; the
    // information box ends with it too.
    if (FileOp->Aborted()) {
        dialogs_.MessageBox(this, canceled);
    } else {
        AddInfoLine(FileOp->Error());
    }
    return false;
}

bool TMainWin::CardDriveChosen() {
    if (!DriveCombo->Root().isEmpty()) return true;
    dialogs_.MessageBox(this, QStringLiteral("Choose the card in the Card Drive list."));
    return false;
}

void TMainWin::BackBtnClick() {
    if (!CardDriveChosen()) return;
    const QString root = ShownRoot(DriveCombo->Root());
    if (const trx5::Status card = trx5::CheckCardFolder(root.toStdString()); !card) {
        dialogs_.MessageBox(this, ToQString(card.message()));
        return;
    }
    const QString destination = WithTrailingSlash(DirTree->GetDirectory());
    if (destination.isEmpty()) {
        dialogs_.MessageBox(this,
                            QStringLiteral("Choose a folder for the backup in the folder tree."));
        return;
    }
    if (!dialogs_.Confirm(this,
                          QStringLiteral("Backup ") + root + QStringLiteral(" to ") + destination,
                          QStringLiteral("Confirmation for BackUp"))) {
        return;
    }
    if (RunFileOp(
            root, destination,
            QStringLiteral("Copying files in ") + root + QStringLiteral(" to ") + destination)) {
        // The folder is read again: its songs show and Restore is offered.
        DirTree->ReBuild();
    }
}

void TMainWin::RestoreBtnClick() {
    if (!CardDriveChosen()) return;
    const QString root = ShownRoot(DriveCombo->Root());
    const QString cardDir = ToQString(CardDir);
    QString source = cardDir;
    if (source.size() > 1 && source.endsWith(QLatin1Char('/'))) source.chop(1);
    if (!dialogs_.Confirm(this,
                          QStringLiteral("Restore ") + cardDir + QStringLiteral(" to ") + root,
                          QStringLiteral("Confirmation for BackUp"))) {
        return;
    }
    // The card must be there: a card taken out leaves no folder to fill.
    FileOp->SetDestinationMustExist(true);
    RunFileOp(source, root,
              QStringLiteral("Restoring files in ") + cardDir + QStringLiteral(" to ") + root);
}
