#include "app/get_win.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QToolButton>

#include "app/form_style.h"
#include "audiofile/audio_file_text.h"
#include "playback/preview.h"
#include "playback/qt_sound_output.h"

namespace {

QString Padded(const char* caption, int width) {
    return QString::fromLatin1(caption).leftJustified(width, QLatin1Char(' '));
}

}  // namespace

TGetWin::TGetWin(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GetWin"));
    setWindowTitle(QStringLiteral("GetWin"));
    setFont(FormFont());
    setFixedSize(416, 83);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(8, 6, 352, 71);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);

    auto makeLabel = [this](const char* name, const QString& text, int top) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(PanelFont());
        label->setGeometry(18, top, 336, 16);
        return label;
    };
    FsLabel = makeLabel("FsLabel", Padded("Sampling Rate :", 36), 12);
    FramesLabel = makeLabel("FramesLabel", Padded("Sampling Frames :", 34), 33);
    BitLabel = makeLabel("BitLabel", Padded("Bits / Word :", 16), 54);

    AudBtn = new QToolButton(this);
    AudBtn->setObjectName(QStringLiteral("AudBtn"));
    AudBtn->setGeometry(368, 20, 40, 40);
    AudBtn->setIcon(QIcon(QStringLiteral(":/art/audition_play.png")));
    AudBtn->setIconSize(QSize(24, 24));
    AudBtn->setToolTip(QStringLiteral("Hear the Sound"));
    AudBtn->setFocusPolicy(Qt::NoFocus);
    connect(AudBtn, &QToolButton::pressed, this, &TGetWin::AudBtnMouseDown);
    connect(AudBtn, &QToolButton::released, this, &TGetWin::AudBtnMouseUp);
}

TGetWin::~TGetWin() = default;

void TGetWin::SetSoundOutput(trx5::SoundOutput& output) {
    preview_.reset();
    output_ = &output;
}

trx5::Preview& TGetWin::Player() {
    if (output_ == nullptr) {
        ownOutput_ = std::make_unique<trx5::QtSoundOutput>();
        output_ = ownOutput_.get();
    }
    if (!preview_) preview_ = std::make_unique<trx5::Preview>(*output_);
    return *preview_;
}

void TGetWin::ShowFileInfo() {
    if (SelectedFile.isEmpty()) return;
    const auto text = trx5::DescribeAudioFile(SelectedFile.toStdString());
    if (!text) return;
    FsLabel->setText(QString::fromStdString(text->rate));
    FramesLabel->setText(QString::fromStdString(text->frames));
    BitLabel->setText(QString::fromStdString(text->bits));
}

void TGetWin::AudBtnMouseDown() {
    if (SelectedFile.isEmpty()) return;
    if (!Player().Start(SelectedFile.toStdString())) emit SoundOutputFailed();
}

void TGetWin::AudBtnMouseUp() {
    if (preview_) preview_->StopPreview();
}
