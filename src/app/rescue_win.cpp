#include "app/rescue_win.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/app_messages.h"
#include "app/dialog_provider.h"
#include "app/form_style.h"
#include "common/byte_size.h"

namespace {

// The room left of a choice's controls, under its radio button's text.
constexpr int kIndent = 22;
constexpr int kListRows = 4;

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

QString DeviceEntry(const trx5::CardDevice& device) {
    QString reader;
    if (device.partition > 0) {
        reader = app_text::PartitionOf(device.partition, ToQString(device.diskPath));
    } else {
        reader = (ToQString(device.vendor) + QLatin1Char(' ') + ToQString(device.model)).trimmed();
    }
    return app_text::CardDeviceEntry(ToQString(device.path),
                                     ToQString(trx5::FormatByteSize(device.bytes)), reader);
}

QHBoxLayout* Indented() {
    auto* row = new QHBoxLayout;
    row->addSpacing(kIndent);
    return row;
}

}  // namespace

TRescueWin::TRescueWin(QWidget& parent, DialogProvider& dialogs, const QString& destination,
                       DeviceLister listDevices)
    : QDialog(&parent), dialogs_(dialogs), listDevices_(std::move(listDevices)) {
    setObjectName(QStringLiteral("RescueWin"));
    setWindowTitle(app_text::RescueTitle());
    setFont(FormFont());

    Intro = new QLabel(app_text::RescueIntro(), this);
    Intro->setObjectName(QStringLiteral("Intro"));
    Intro->setWordWrap(true);

    DeviceRadio = new QRadioButton(app_text::CardReaderChoice(), this);
    DeviceRadio->setObjectName(QStringLiteral("DeviceRadio"));
    DeviceList = new QListWidget(this);
    DeviceList->setObjectName(QStringLiteral("DeviceList"));
    DeviceList->setFixedHeight(DeviceList->fontMetrics().height() * kListRows +
                               2 * DeviceList->frameWidth() + 6);
    LookAgainBtn = new QPushButton(app_text::LookAgainButton(), this);
    LookAgainBtn->setObjectName(QStringLiteral("LookAgainBtn"));
    LookAgainBtn->setAutoDefault(false);

    ImageRadio = new QRadioButton(app_text::ImageFileChoice(), this);
    ImageRadio->setObjectName(QStringLiteral("ImageRadio"));
    ImageEdit = new QLineEdit(this);
    ImageEdit->setObjectName(QStringLiteral("ImageEdit"));
    BrowseBtn = new QPushButton(app_text::BrowseButton(), this);
    BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
    BrowseBtn->setAutoDefault(false);

    IntoLabel = new QLabel(app_text::RescueInto(destination), this);
    IntoLabel->setObjectName(QStringLiteral("IntoLabel"));
    IntoLabel->setWordWrap(true);
    IntoLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(this);
    RescueBtn = buttons->addButton(app_text::RescueButton(), QDialogButtonBox::AcceptRole);
    RescueBtn->setObjectName(QStringLiteral("RescueBtn"));
    RescueBtn->setDefault(true);
    CancelBtn = buttons->addButton(QDialogButtonBox::Cancel);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto* deviceRow = Indented();
    deviceRow->addWidget(DeviceList, 1);
    auto* lookAgain = new QVBoxLayout;
    lookAgain->addWidget(LookAgainBtn);
    lookAgain->addStretch(1);
    deviceRow->addLayout(lookAgain);
    auto* imageRow = Indented();
    imageRow->addWidget(ImageEdit, 1);
    imageRow->addWidget(BrowseBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Intro);
    layout->addSpacing(8);
    layout->addWidget(DeviceRadio);
    layout->addLayout(deviceRow);
    layout->addSpacing(6);
    layout->addWidget(ImageRadio);
    layout->addLayout(imageRow);
    layout->addSpacing(10);
    layout->addWidget(IntoLabel);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    setMinimumWidth(520);

    connect(DeviceList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item != nullptr) DeviceRadio->setChecked(true);
        UpdateRescueButton();
    });
    connect(ImageEdit, &QLineEdit::textEdited, this, [this] {
        ImageRadio->setChecked(true);
        UpdateRescueButton();
    });
    connect(DeviceRadio, &QRadioButton::toggled, this, &TRescueWin::UpdateRescueButton);
    connect(LookAgainBtn, &QPushButton::clicked, this, &TRescueWin::ListDevices);
    connect(BrowseBtn, &QPushButton::clicked, this, &TRescueWin::Browse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    ImageRadio->setChecked(true);
    ListDevices();
    if (!DeviceRadio->isChecked()) ImageEdit->setFocus();
    UpdateRescueButton();
}

void TRescueWin::ListDevices() {
    DeviceList->clear();
    for (const trx5::CardDevice& device : listDevices_()) {
        auto* item = new QListWidgetItem(DeviceEntry(device), DeviceList);
        item->setData(Qt::UserRole, ToQString(device.path));
    }
    if (DeviceList->count() == 0) {
        // Said in the list itself, where the cards would be; nothing to pick.
        auto* none = new QListWidgetItem(app_text::NoCardFound(), DeviceList);
        none->setFlags(Qt::NoItemFlags);
    } else {
        // The first card, the whole device, is the one a rescue wants.
        DeviceList->setCurrentRow(0);
    }
    UpdateRescueButton();
}

void TRescueWin::Browse() {
    const QString file = dialogs_.GetImageFile(this, app_text::ImageFileCaption());
    if (file.isEmpty()) return;
    ImageEdit->setText(file);
    ImageRadio->setChecked(true);
    UpdateRescueButton();
}

QString TRescueWin::SourcePath() const {
    if (ImageRadio->isChecked()) return ImageEdit->text();
    const QListWidgetItem* item = DeviceList->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toString() : QString();
}

void TRescueWin::UpdateRescueButton() { RescueBtn->setEnabled(!SourcePath().isEmpty()); }

TRescueReportWin::TRescueReportWin(QWidget& parent, const QString& report,
                                   const QString& reportPath)
    : QDialog(&parent) {
    setObjectName(QStringLiteral("RescueReportWin"));
    setWindowTitle(app_text::RescueReportTitle());
    setFont(FormFont());
    setAttribute(Qt::WA_DeleteOnClose);

    KeptLabel = new QLabel(app_text::RescueReportKept(reportPath), this);
    KeptLabel->setObjectName(QStringLiteral("KeptLabel"));
    KeptLabel->setWordWrap(true);
    KeptLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ReportText = new QPlainTextEdit(report, this);
    ReportText->setObjectName(QStringLiteral("ReportText"));
    ReportText->setReadOnly(true);
    QFont mono = PanelFont();
    mono.setPixelSize(12);
    ReportText->setFont(mono);
    ReportText->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QFontMetrics metrics(mono);
    ReportText->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 100,
                               metrics.lineSpacing() * 20);

    CloseBtn = new QPushButton(app_text::CloseButton(), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CloseBtn->setDefault(true);

    auto* close = new QHBoxLayout;
    close->addStretch(1);
    close->addWidget(CloseBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(KeptLabel);
    layout->addWidget(ReportText, 1);
    layout->addLayout(close);

    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::close);
}
