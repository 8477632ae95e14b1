#include "app/history_win.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/app_messages.h"
#include "app/form_style.h"
#include "app/take_organize.h"
#include "card/card_info.h"
#include "common/byte_size.h"
#include "convert/song_selection.h"

namespace {

constexpr std::uint64_t kMegabyte = 1'000'000;
constexpr std::uint64_t kGigabyte = 1'000'000'000;
constexpr int kLargestLimit = 999'999;
constexpr int kColumnRoom = 14;

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

// What happened to the kept file `id`: the kind of the step that replaced
// it, or an undo that took it back off the card. A move keeps its source
// too, after its target.
QString WhatHappened(const trx5::TakeHistory& history, const std::string& id) {
    for (const trx5::HistoryStep& step : history.steps()) {
        for (std::size_t i = 0; i < step.changes.size(); ++i) {
            const trx5::SlotChange& change = step.changes[i];
            if (change.before == id) {
                return step.kind == "move" && i == 1 ? app_text::KeptMovedAway()
                                                     : app_text::KeptBecause(step.kind);
            }
            if (change.after == id && step.undone) return app_text::KeptByUndo();
        }
    }
    return app_text::Unknown();
}

// "4:07": minutes and seconds.
QString LengthText(std::uint64_t ms) {
    const std::uint64_t seconds = ms / 1000;
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

THistoryWin::THistoryWin(QWidget& parent, TTakeOrganizer& organizer)
    : QDialog(&parent), organizer_(organizer) {
    setObjectName(QStringLiteral("HistoryWin"));
    setWindowTitle(app_text::HistoryTitle());
    setFont(FormFont());

    List = new QTreeWidget(this);
    List->setObjectName(QStringLiteral("List"));
    List->setHeaderLabels(app_text::HistoryColumns().split(QLatin1Char('|')));
    List->setRootIsDecorated(false);
    List->setUniformRowHeights(true);
    List->setAlternatingRowColors(true);
    List->setAllColumnsShowFocus(true);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->header()->setStretchLastSection(false);
    List->header()->setSectionResizeMode(WhatColumn, QHeaderView::Stretch);
    List->headerItem()->setTextAlignment(LengthColumn, Qt::AlignRight | Qt::AlignVCenter);
    List->setMinimumSize(520, 200);

    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));

    FreeSlotsLabel = new QLabel(this);
    FreeSlotsLabel->setObjectName(QStringLiteral("FreeSlotsLabel"));
    FreeSlots = new QComboBox(this);
    FreeSlots->setObjectName(QStringLiteral("FreeSlots"));
    FreeSlots->setMinimumContentsLength(4);
    FreeSlotsLabel->setBuddy(FreeSlots);
    PutBackBtn = new QPushButton(app_text::PutBackButton(), this);
    PutBackBtn->setObjectName(QStringLiteral("PutBackBtn"));
    PutBackBtn->setAutoDefault(false);
    NoSlotLabel = new QLabel(this);
    NoSlotLabel->setObjectName(QStringLiteral("NoSlotLabel"));
    NoSlotLabel->setFont(WithStyle(FormFont(), false, true));

    Limit = new QSpinBox(this);
    Limit->setObjectName(QStringLiteral("Limit"));
    Limit->setRange(1, kLargestLimit);
    Limit->setAccelerated(true);
    LimitUnit = new QComboBox(this);
    LimitUnit->setObjectName(QStringLiteral("LimitUnit"));
    LimitUnit->addItems({app_text::Megabytes(), app_text::Gigabytes()});
    auto* keepLabel = new QLabel(app_text::KeepAtMost(), this);
    keepLabel->setBuddy(Limit);

    CloseBtn = new QPushButton(app_text::CloseButton(), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CloseBtn->setDefault(true);

    auto* putBack = new QHBoxLayout;
    putBack->addWidget(FreeSlotsLabel);
    putBack->addWidget(FreeSlots);
    putBack->addWidget(PutBackBtn);
    putBack->addSpacing(8);
    putBack->addWidget(NoSlotLabel, 1);
    auto* limit = new QHBoxLayout;
    limit->addWidget(keepLabel);
    limit->addWidget(Limit);
    limit->addWidget(LimitUnit);
    limit->addWidget(new QLabel(app_text::OfReplacedTakes(), this));
    limit->addStretch(1);
    auto* close = new QHBoxLayout;
    close->addWidget(Summary, 1);
    close->addWidget(CloseBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(List, 1);
    layout->addLayout(putBack);
    layout->addSpacing(6);
    layout->addLayout(limit);
    layout->addSpacing(6);
    layout->addLayout(close);

    // The limit as saved: whole gigabytes in GB, anything else in MB.
    limit_ = HistoryLimitSetting();
    const bool inGigabytes = limit_ % kGigabyte == 0;
    LimitUnit->setCurrentIndex(inGigabytes ? 1 : 0);
    Limit->setValue(static_cast<int>(std::min<std::uint64_t>(
        (limit_ + UnitBytes() - 1) / UnitBytes(), static_cast<std::uint64_t>(kLargestLimit))));

    connect(List, &QTreeWidget::currentItemChanged, this, &THistoryWin::UpdatePutBack);
    connect(PutBackBtn, &QPushButton::clicked, this, &THistoryWin::PutBackClick);
    connect(Limit, &QSpinBox::valueChanged, this, &THistoryWin::SaveLimit);
    connect(LimitUnit, &QComboBox::currentIndexChanged, this, &THistoryWin::UnitChanged);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
}

bool THistoryWin::Reload() {
    QTreeWidgetItem* current = List->currentItem();
    const std::string chosen =
        current != nullptr ? rows_[List->indexOfTopLevelItem(current)].id : std::string();
    std::vector<Row> rows;
    QList<QTreeWidgetItem*> items;
    std::uint64_t bytes = 0;
    const bool read = organizer_.ReadHistory([&](const trx5::TakeHistory& history) {
        bytes = history.KeptBytes();
        const auto& kept = history.kept();
        for (auto file = kept.rbegin(); file != kept.rend(); ++file) {
            Row row{file->id};
            QString song = app_text::Unknown();
            QString slot = app_text::Unknown();
            if (const auto number = trx5::TakeFileNumber(file->name)) {
                song = ToQString(trx5::SongNumberText(*number + 1));
                if (const auto at = trx5::ParseTakeFileName(file->name, *number)) {
                    slot = ToQString(trx5::TakeCaption(*at));
                }
            } else if (const auto songFile = trx5::SongFileNumber(file->name)) {
                song = ToQString(trx5::SongNumberText(*songFile + 1));
                slot = app_text::SongFileKept();
            }
            // A take's mode is the first byte of its header.
            QString length;
            const std::string path = history.KeptPath(file->id);
            QFile in(ToQString(path));
            char mode = 0;
            if (trx5::IsTakeFile(path) && in.open(QIODevice::ReadOnly) && in.getChar(&mode)) {
                row.take = true;
                row.longMode = mode == 1;
                length =
                    LengthText(trx5::TakeLengthMs(trx5::TakeBlockCount(file->size), row.longMode));
            }
            items << new QTreeWidgetItem(
                QStringList{song, slot, QString::fromStdString(trx5::KeptTimeText(file->time)),
                            WhatHappened(history, file->id), length});
            rows.push_back(row);
        }
    });
    if (!read) return false;
    List->clear();
    rows_ = std::move(rows);
    List->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items) {
        item->setTextAlignment(LengthColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
    // Each column as wide as its widest text and a little room; what
    // happened takes the rest.
    for (const int column : {SongColumn, SlotColumn, KeptColumn, LengthColumn}) {
        List->resizeColumnToContents(column);
        List->setColumnWidth(column, List->columnWidth(column) + kColumnRoom);
    }
    Summary->setText(rows_.empty()
                         ? app_text::HistoryEmpty()
                         : app_text::HistoryHolds(static_cast<int>(rows_.size()),
                                                  ToQString(trx5::FormatByteSize(bytes))));
    int row = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].id == chosen) row = static_cast<int>(i);
    }
    List->setCurrentItem(List->topLevelItem(row));
    UpdatePutBack();
    return true;
}

void THistoryWin::UpdatePutBack() {
    const trx5::SongSelection& song = organizer_.Selection();
    FreeSlotsLabel->setText(
        app_text::FreeVTakeOf(ToQString(trx5::SongNumberText(song.FileNumber + 1))));
    FreeSlots->clear();
    QTreeWidgetItem* current = List->currentItem();
    QString why;
    if (current != nullptr) {
        const Row& row = rows_[List->indexOfTopLevelItem(current)];
        if (!row.take) {
            why = app_text::NotATake();
        } else if (song.LongMode == row.longMode) {
            for (int slot = 0; slot < trx5::kTracks * trx5::kVTakes; ++slot) {
                if (!song.TakeFiles[slot].empty()) continue;
                FreeSlots->addItem(ToQString(trx5::TakeCaption(trx5::SlotAt(slot))), slot);
            }
        }
        if (row.take && FreeSlots->count() == 0) why = app_text::NoFreeVTake(row.longMode);
    }
    FreeSlots->setEnabled(FreeSlots->count() > 0);
    PutBackBtn->setEnabled(FreeSlots->count() > 0);
    NoSlotLabel->setText(why);
}

void THistoryWin::PutBackClick() {
    QTreeWidgetItem* current = List->currentItem();
    if (current == nullptr || FreeSlots->currentIndex() < 0) return;
    organizer_.PutBack(rows_[List->indexOfTopLevelItem(current)].id,
                       FreeSlots->currentData().toInt());
    Reload();
}

std::uint64_t THistoryWin::UnitBytes() const {
    return LimitUnit->currentIndex() == 1 ? kGigabyte : kMegabyte;
}

void THistoryWin::SaveLimit() {
    limit_ = static_cast<std::uint64_t>(Limit->value()) * UnitBytes();
    SaveHistoryLimitSetting(limit_);
}

void THistoryWin::UnitChanged() {
    // Only the unit changes: the number follows, as near as it can.
    const QSignalBlocker block(Limit);
    const std::uint64_t value = (limit_ + UnitBytes() / 2) / UnitBytes();
    Limit->setValue(static_cast<int>(
        std::clamp<std::uint64_t>(value, 1, static_cast<std::uint64_t>(kLargestLimit))));
    SaveLimit();
}
