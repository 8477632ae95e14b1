#include "app/nf_win.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/form_style.h"

TNfWin::TNfWin(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NfWin"));
    setWindowTitle(QStringLiteral("New Folder"));
    setFont(FormFont());
    setFixedSize(257, 74);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    Label1 = new QLabel(QStringLiteral("Enter Folder Name"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(17, 16);
    Label1->adjustSize();

    FolderEdit = new QLineEdit(this);
    FolderEdit->setObjectName(QStringLiteral("FolderEdit"));
    FolderEdit->setGeometry(16, 40, 117, 20);

    OkBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setGeometry(164, 16, 75, 20);

    CanBtn = new QPushButton(QStringLiteral("CANCEL"), this);
    CanBtn->setObjectName(QStringLiteral("CanBtn"));
    CanBtn->setGeometry(164, 40, 75, 20);
    // Cancel is the default button: Enter in the edit box cancels; OK makes
    // the folder only when it is pressed itself.
    CanBtn->setDefault(true);

    setTabOrder(FolderEdit, OkBtn);
    setTabOrder(OkBtn, CanBtn);

    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CanBtn, &QPushButton::clicked, this, &QDialog::reject);
}

QString TNfWin::FolderName() const { return FolderEdit->text(); }

void TNfWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FolderEdit->setFocus();
    FolderEdit->selectAll();
}
