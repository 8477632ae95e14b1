#include "app/get_win.h"

#include <QCheckBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QToolButton>

#include "app/app_messages.h"
#include "app/form_style.h"
#include "audiofile/audio_file_text.h"
#include "audiofile/converted_source.h"
#include "codec/take_codec.h"
#include "controls/artwork.h"
#include "convert/import.h"
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
    // Below the file's three lines: what the import will do with its rate,
    // and the two choices the import offers.
    setFixedSize(416, 146);

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
    FsLabel = makeLabel("FsLabel", {}, 12);
    FramesLabel = makeLabel("FramesLabel", {}, 33);
    BitLabel = makeLabel("BitLabel", {}, 54);
    ShowCaptions();

    AudBtn = new QToolButton(this);
    AudBtn->setObjectName(QStringLiteral("AudBtn"));
    AudBtn->setGeometry(368, 20, 40, 40);
    AudBtn->setIcon(ArtIcon(QStringLiteral(":/art/audition_play.png")));
    // The glyph's own size, so that a 2x screen shows it as large as a 1x
    // one does, in its 2x drawing.
    AudBtn->setIconSize(QSize(16, 16));
    AudBtn->setToolTip(QStringLiteral("Hear the Sound"));
    AudBtn->setFocusPolicy(Qt::NoFocus);
    connect(AudBtn, &QToolButton::pressed, this, &TGetWin::AudBtnMouseDown);
    connect(AudBtn, &QToolButton::released, this, &TGetWin::AudBtnMouseUp);

    RateLabel = new QLabel(this);
    RateLabel->setObjectName(QStringLiteral("RateLabel"));
    RateLabel->setFont(PanelFont());
    RateLabel->setGeometry(18, 84, 390, 16);
    KeepRateBox =
        new QCheckBox(QStringLiteral("Keep samples as they are (no rate conversion)"), this);
    KeepRateBox->setObjectName(QStringLiteral("KeepRateBox"));
    KeepRateBox->setGeometry(14, 102, 394, 20);
    MixBox =
        new QCheckBox(QStringLiteral("Mix both channels of a stereo file into the one take"), this);
    MixBox->setObjectName(QStringLiteral("MixBox"));
    MixBox->setGeometry(14, 122, 394, 20);
    MixBox->setEnabled(false);
    connect(KeepRateBox, &QCheckBox::toggled, this, &TGetWin::ShowRate);
}

void TGetWin::ShowCaptions() {
    FsLabel->setText(Padded("Sampling Rate :", 36));
    FramesLabel->setText(Padded("Sampling Frames :", 34));
    BitLabel->setText(Padded("Bits / Word :", 16));
}

void TGetWin::SetSong(bool longMode, bool oneTarget) {
    longMode_ = longMode;
    songSet_ = true;
    oneTarget_ = oneTarget;
    MixBox->setEnabled(oneTarget && fileChannels_ == 2);
    ShowRate();
}

void TGetWin::ShowRate() {
    if (fileRate_ <= 0 || !songSet_) {
        RateLabel->clear();
        return;
    }
    const auto change = trx5::ImportRateChange(fileRate_, longMode_);
    if (!change) {
        RateLabel->setText(app_text::RateKept(trx5::SampleRate(longMode_)));
    } else if (KeepRateBox->isChecked()) {
        RateLabel->setText(app_text::RateKeptAsItIs(
            QString::fromStdString(trx5::RateChange{change->from, 0}.Describe())
                .section(QLatin1Char(' '), 0, 1),
            change->to));
    } else if (fileRate_ < trx5::kLowestConvertedRate) {
        // The import refuses to convert it; the box below keeps the samples.
        RateLabel->setText(
            app_text::RateTooLow(QString::fromStdString(change->Describe()).section(' ', 0, 0)));
    } else {
        RateLabel->setText(app_text::RateConverted(QString::fromStdString(change->Describe())));
    }
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
    const auto text =
        SelectedFile.isEmpty()
            ? trx5::Result<trx5::AudioFileText>(trx5::Status::Fail(trx5::ErrorCode::CannotOpen, {}))
            : trx5::DescribeAudioFile(SelectedFile.toStdString());
    if (!text) {
        // No file (a folder, a name typed that is none): nothing to show or
        // to hear.
        ShowCaptions();
        fileRate_ = 0;
        fileChannels_ = 0;
        MixBox->setEnabled(false);
        AudBtn->setEnabled(false);
        ShowRate();
        return;
    }
    FsLabel->setText(QString::fromStdString(text->rate));
    FramesLabel->setText(QString::fromStdString(text->frames));
    BitLabel->setText(QString::fromStdString(text->bits));
    fileRate_ = text->usable ? text->sampleRate : 0;
    fileChannels_ = text->usable ? text->channels : 0;
    // A file that is not stereo cannot be mixed: a tick left on its greyed
    // box would ask for a mix the import refuses.
    if (text->usable && fileChannels_ != 2) MixBox->setChecked(false);
    MixBox->setEnabled(oneTarget_ && fileChannels_ == 2);
    // Only a file that can be played can be heard.
    AudBtn->setEnabled(text->usable);
    ShowRate();
}

void TGetWin::AudBtnMouseDown() {
    if (SelectedFile.isEmpty()) return;
    // In the import dialog the file is heard as the import will write it.
    std::optional<trx5::PreviewTarget> target;
    if (songSet_) {
        target = trx5::PreviewTarget{static_cast<std::uint32_t>(trx5::SampleRate(longMode_)),
                                     KeepRateBox->isChecked(), MixBox->isChecked(), oneTarget_};
    }
    if (!Player().Start(SelectedFile.toStdString(), target)) emit SoundOutputFailed();
}

void TGetWin::AudBtnMouseUp() {
    if (preview_) preview_->StopPreview();
}
