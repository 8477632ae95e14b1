#include "app/main_win_form.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QToolButton>

#include "app/drive_combo.h"
#include "app/form_style.h"
#include "app/info_text.h"
#include "app/song_list.h"
#include "codec/track_mix.h"
#include "controls/artwork.h"
#include "controls/bitpanel.h"
#include "controls/cgauge.h"
#include "controls/copendlg.h"
#include "controls/dirtreeview.h"
#include "controls/fileoperation.h"
#include "controls/version.h"
#include "controls/volume.h"

namespace {

using trx5::kTracks;
using trx5::kVTakes;
using trx5::SlotIndex;

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

}  // namespace

TMainWinForm::TMainWinForm(QWidget* parent) : QWidget(parent) { CreateControls(); }

void TMainWinForm::CreateControls() {
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
            });
            take->setContextMenuPolicy(Qt::CustomContextMenu);
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
            return knob;
        };
        *pans[t] =
            makeKnob(QStringLiteral("Pan%1").arg(t + 1), 233, trx5::kMaxPan, trx5::kCentrePan);
        *vols[t] =
            makeKnob(QStringLiteral("Vol%1").arg(t + 1), 253, trx5::kMaxLevel, trx5::kUnityLevel);
        // The tooltips read as the value labels do ("L30", "100").
        (*pans[t])->SetValueText(&TMainWinForm::PanText);
        (*vols[t])->SetValueText(&TMainWinForm::LevelText);
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

    // The card's commands, one above the other below the gauge; the last
    // one level with Help and Exit.
    BackBtn = new QPushButton(ArtIcon(QStringLiteral(":/art/backup.png")),
                              QStringLiteral("&Back up your Card"), Panel1);
    BackBtn->setObjectName(QStringLiteral("BackBtn"));
    BackBtn->setGeometry(32, 346, 220, 20);
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
    RestoreBtn->setGeometry(32, 368, 220, 20);
    RestoreBtn->setEnabled(false);

    RescueBtn = new QPushButton(ArtIcon(QStringLiteral(":/art/rescue.png")),
                                QStringLiteral("Rescue a &card..."), Panel1);
    RescueBtn->setObjectName(QStringLiteral("RescueBtn"));
    RescueBtn->setGeometry(32, 390, 220, 20);
    RescueBtn->setToolTip(QStringLiteral("Find the takes of a damaged card and save them"));

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

    SetTabOrder();
    DirTree->setFocus();
}

void TMainWinForm::SetTabOrder() {
    // The song, the import destinations and the grid (one stop: its arrow
    // keys move within it), the commands, the knobs, the tree.
    std::vector<QWidget*> order = {SongNum, Sel1Btn, Sel2Btn, Sel3Btn, Sel4Btn};
    order.insert(order.end(), TakeBtns.begin(), TakeBtns.end());
    QWidget* const rest[] = {Wav2TakeBtn, Take2WavBtn, AudBtn,    InfoText, BackBtn,
                             DriveCombo,  RestoreBtn,  RescueBtn, HelpBtn,  ExitBtn,
                             Pan1,        Pan2,        Pan3,      Pan4,     Vol1,
                             Vol2,        Vol3,        Vol4,      DirTree};
    for (QWidget* w : rest) order.push_back(w);
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

QString TMainWinForm::PanText(int position) {
    if (position == trx5::kCentrePan) return QStringLiteral("0");
    if (position < trx5::kCentrePan) return QStringLiteral("L%1").arg(trx5::kCentrePan - position);
    return QStringLiteral("R%1").arg(position - trx5::kCentrePan);
}

QString TMainWinForm::LevelText(int position) { return QString::number(position); }

void TMainWinForm::ShowTakeButton(int slot, bool hasTake) {
    QToolButton* button = TakeBtns[slot];
    button->setText(hasTake ? QString::fromStdString(trx5::TakeCaption(trx5::SlotAt(slot)))
                            : QString());
    // An empty slot is flat; the look depends on the property, so the style
    // sheet is applied anew.
    if (button->autoRaise() == !hasTake) return;
    button->setAutoRaise(!hasTake);
    button->style()->unpolish(button);
    button->style()->polish(button);
}

void TMainWinForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(0, Panel1->height(), Panel1->width(), height() - Panel1->height(), kPanelGrey);
}

void TMainWinForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int paneWidth = width() - Panel2->x();
    Panel2->resize(paneWidth, height());
    Panel3->resize(paneWidth, Panel3->height());
    TreePanel->resize(paneWidth, height() - TreePanel->y());
    DirTree->resize(TreePanel->width() - 2, TreePanel->height() - 2);
}
