// The import preview form: the chosen file's rate, frames and sample width,
// with a button to listen to it. It is shown inside the import's file dialog;
// for now it is the bare form.
#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QToolButton;

class TGetWin : public QWidget {
    Q_OBJECT

  public:
    explicit TGetWin(QWidget* parent = nullptr);

    QFrame* Bevel1;
    QLabel* FsLabel;
    QLabel* FramesLabel;
    QLabel* BitLabel;
    QToolButton* AudBtn;

    QString SelectedFile;  // the file selected in the open dialog
};
