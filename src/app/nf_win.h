// The "New Folder" dialog: asks for the name of a folder to make under the
// folder selected in the tree. It is made once and reused, so the name typed
// last is offered again.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TNfWin : public QDialog {
    Q_OBJECT

  public:
    explicit TNfWin(QWidget* parent = nullptr);

    QString FolderName() const;

    QLabel* Label1;
    QLineEdit* FolderEdit;
    QPushButton* OkBtn;
    QPushButton* CanBtn;

  protected:
    void showEvent(QShowEvent* event) override;
};
