// The import preview form, shown inside the import's file dialog below its
// file list: the chosen file's rate, frames with playing time and sample
// width, and a button that plays the file while it is held down.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QToolButton;

namespace trx5 {
class Preview;
class SoundOutput;
}  // namespace trx5

class TGetWin : public QWidget {
    Q_OBJECT

  public:
    explicit TGetWin(QWidget* parent = nullptr);
    ~TGetWin() override;

    QFrame* Bevel1;
    QLabel* FsLabel;
    QLabel* FramesLabel;
    QLabel* BitLabel;
    QToolButton* AudBtn;
    QLabel* RateLabel;
    QCheckBox* KeepRateBox;
    QCheckBox* MixBox;

    QString SelectedFile;  // the file selected in the open dialog

    // The song the import goes to: the rate line and the listen button then
    // show and play what the import will write; the mix choice is offered
    // only for one destination.
    void SetSong(bool longMode, bool oneTarget);

    // Plays through `output` instead of the default sound device.
    void SetSoundOutput(trx5::SoundOutput& output);
    trx5::Preview& Player();

  public slots:
    // Shows the lines of SelectedFile: its format, or the bare captions for
    // a file that is not usable audio or for no file at all (a folder, a
    // name that is none); the listen button works only for usable audio.
    void ShowFileInfo();
    void AudBtnMouseDown();
    void AudBtnMouseUp();

  signals:
    // The sound output could not be opened for a press of the button.
    void SoundOutputFailed();

  private:
    void ShowRate();
    // The three lines' captions without a file's values.
    void ShowCaptions();

    bool songSet_ = false;
    bool longMode_ = false;
    bool oneTarget_ = false;
    double fileRate_ = 0;  // of the file shown; 0 when none is usable
    int fileChannels_ = 0;
    std::unique_ptr<trx5::SoundOutput> ownOutput_;
    trx5::SoundOutput* output_ = nullptr;
    std::unique_ptr<trx5::Preview> preview_;
};
