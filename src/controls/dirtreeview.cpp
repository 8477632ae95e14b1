#include "controls/dirtreeview.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

enum ItemRole { kPathRole = Qt::UserRole, kListedRole, kVirtualRole };

// Names ignoring case first, so "alpha" and "Beta" sort as a reader expects;
// ties are broken by the exact text to keep the order stable.
bool NameLess(const QString& a, const QString& b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    if (folded != 0) return folded < 0;
    return a < b;
}

class FolderItem final : public QTreeWidgetItem {
  public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        return NameLess(text(0), other.text(0));
    }
};

// Absolute, clean and ending with "/".
QString FolderKey(const QString& path) {
    QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!clean.endsWith(QLatin1Char('/'))) clean += QLatin1Char('/');
    return clean;
}

bool IsHiddenName(const QString& name) { return name.startsWith(QLatin1Char('.')); }

// Visible subfolders of a folder, in name order.
QStringList SubfolderNames(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    names.erase(std::remove_if(names.begin(), names.end(), IsHiddenName), names.end());
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

bool HasSubfolder(const QString& folder) {
    QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        if (!IsHiddenName(it.nextFileInfo().fileName())) return true;
    }
    return false;
}

QString RootFolderText(const QString& key) {
    if (key == QLatin1String("/")) return QStringLiteral("File System");
    if (key == FolderKey(QDir::homePath())) return QStringLiteral("Home");
    const QStorageInfo volume(key);
    if (volume.isValid() && FolderKey(volume.rootPath()) == key) {
        const QString name = volume.name();
        if (!name.isEmpty()) return name;
    }
    return QDir(key).dirName();
}

QStringList FolderKeys(const QStringList& paths) {
    QStringList keys;
    for (const QString& path : paths) {
        const QString key = FolderKey(path);
        if (!keys.contains(key)) keys.append(key);
    }
    return keys;
}

QStringList WithHomeAndRoot(const QStringList& volumes) {
    return FolderKeys(QStringList{QDir::homePath(), QStringLiteral("/")} + volumes);
}

// The default volume source. Reading the mount table is cheap; listing the
// volumes asks each of them for its state, so that is done only when the
// table changed.
class MountTableWatch {
  public:
    QStringList operator()() {
        QFile file(QStringLiteral("/proc/self/mountinfo"));
        const QByteArray table = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (!listed_ || table.isEmpty() || table != table_) {
            table_ = table;
            volumes_ = TDirTreeView::MountedVolumes();
            listed_ = true;
        }
        return volumes_;
    }

  private:
    bool listed_ = false;
    QByteArray table_;
    QStringList volumes_;
};

constexpr int kVolumeCheckMs = 1000;

}  // namespace

TDirTreeView::TDirTreeView(QWidget* parent)
    : QTreeWidget(parent), volumeSource_(MountTableWatch()) {
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    // Deep or long names scroll sideways instead of being cut short: the one
    // column is as wide as its widest shown item.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);

    connect(this, &QTreeWidget::itemExpanded, this, &TDirTreeView::ListChildren);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { SelectionChanged(current); });

    lastVolumes_ = FolderKeys(volumeSource_());
    rootFolders_ = WithHomeAndRoot(lastVolumes_);
    BroDir();

    auto* volumeTimer = new QTimer(this);
    volumeTimer->setInterval(kVolumeCheckMs);
    connect(volumeTimer, &QTimer::timeout, this, &TDirTreeView::CheckVolumes);
    volumeTimer->start();
}

QStringList TDirTreeView::MountedVolumes() {
    QStringList volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        // Bind mounts of single files show up as volumes too.
        if (!QFileInfo(volume.rootPath()).isDir()) continue;
        volumes.append(volume.rootPath());
    }
    return FolderKeys(volumes);
}

QStringList TDirTreeView::DefaultRootFolders() { return WithHomeAndRoot(MountedVolumes()); }

void TDirTreeView::SetRootFolders(const QStringList& folders) {
    rootFolders_ = FolderKeys(folders);
    BroDir();
}

void TDirTreeView::SetVolumeSource(VolumeSource source) {
    volumeSource_ = std::move(source);
    lastVolumes_ = FolderKeys(volumeSource_());
}

void TDirTreeView::CheckVolumes() {
    // A disabled tree belongs to a busy window, which must not be told of a
    // new folder meanwhile; the change is taken up once it is enabled again.
    if (!isEnabled()) return;
    const QStringList volumes = FolderKeys(volumeSource_());
    if (volumes == lastVolumes_) return;
    QStringList added;
    for (const QString& key : volumes) {
        if (!lastVolumes_.contains(key)) added.append(key);
    }
    QStringList removed;
    for (const QString& key : lastVolumes_) {
        if (!volumes.contains(key)) removed.append(key);
    }
    lastVolumes_ = volumes;
    UpdateVolumes(added, removed);
}

void TDirTreeView::UpdateVolumes(const QStringList& added, const QStringList& removed) {
    QTreeWidgetItem* root = RootItem();
    if (root == nullptr) return;
    bool lostCurrent = false;
    {
        // Taking away the current item moves Qt's current item elsewhere;
        // that is no choice of the user's.
        const QScopedValueRollback guard(selecting_, true);
        for (const QString& key : removed) {
            rootFolders_.removeAll(key);
            for (int i = root->childCount() - 1; i >= 0; --i) {
                QTreeWidgetItem* child = root->child(i);
                if (ItemPath(child) != key) continue;
                for (const QTreeWidgetItem* up = currentItem(); up != nullptr; up = up->parent()) {
                    if (up == child) lostCurrent = current_.has_value();
                }
                delete root->takeChild(i);
            }
        }
        for (const QString& key : added) {
            if (rootFolders_.contains(key)) continue;
            rootFolders_.append(key);
            if (QFileInfo(key).isDir()) AddRootFolderItem(root, key);
        }
    }
    if (!lostCurrent) return;
    // As after ReBuild: what is left of the folder's path becomes current.
    const QString key = *current_;
    current_.reset();
    SelectNearest(key);
}

QString TDirTreeView::ItemPath(const QTreeWidgetItem* item) {
    return item != nullptr ? item->data(0, kPathRole).toString() : QString();
}

bool TDirTreeView::IsListed(const QTreeWidgetItem* item) {
    return item != nullptr && item->data(0, kListedRole).toBool();
}

QString TDirTreeView::GetDirectory() const { return ItemPath(currentItem()); }

QString TDirTreeView::GetDisplayName() const {
    const QTreeWidgetItem* item = currentItem();
    return item != nullptr ? item->text(0) : QString();
}

void TDirTreeView::BroDir() {
    const bool wasSelecting = selecting_;
    selecting_ = true;
    clear();
    current_.reset();

    auto* root = new FolderItem(this);
    root->setText(0, QStringLiteral("Computer"));
    root->setIcon(0, style()->standardIcon(QStyle::SP_ComputerIcon));
    root->setData(0, kPathRole, QString());
    root->setData(0, kVirtualRole, true);
    root->setData(0, kListedRole, true);
    for (const QString& key : rootFolders_) {
        if (QFileInfo(key).isDir()) AddRootFolderItem(root, key);
    }
    root->setExpanded(true);
    selecting_ = wasSelecting;
}

QTreeWidgetItem* TDirTreeView::AddRootFolderItem(QTreeWidgetItem* root, const QString& key) {
    QTreeWidgetItem* item = AddFolderItem(root, key, RootFolderText(key));
    const bool home = key == FolderKey(QDir::homePath());
    item->setIcon(0, style()->standardIcon(home ? QStyle::SP_DirHomeIcon : QStyle::SP_DriveHDIcon));
    return item;
}

QTreeWidgetItem* TDirTreeView::AddFolderItem(QTreeWidgetItem* parent, const QString& path,
                                             const QString& text, int index) {
    auto* item = new FolderItem();
    item->setText(0, text);
    item->setData(0, kPathRole, path);
    item->setData(0, kListedRole, false);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    item->setChildIndicatorPolicy(HasSubfolder(path) ? QTreeWidgetItem::ShowIndicator
                                                     : QTreeWidgetItem::DontShowIndicator);
    if (index < 0) {
        parent->addChild(item);
    } else {
        parent->insertChild(index, item);
    }
    return item;
}

void TDirTreeView::ListChildren(QTreeWidgetItem* item) {
    if (item == nullptr || IsListed(item)) return;
    item->setData(0, kListedRole, true);
    const QString path = ItemPath(item);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const QStringList names = SubfolderNames(path);
    for (const QString& name : names) AddFolderItem(item, path + name + QLatin1Char('/'), name);
    QGuiApplication::restoreOverrideCursor();
    // A folder that turned out empty or unreadable loses its expander.
    if (names.isEmpty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

QTreeWidgetItem* TDirTreeView::FindOrAddChild(QTreeWidgetItem* item, const QString& name) {
    ListChildren(item);
    int insertAt = item->childCount();
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (child->text(0) == name) return child;
        if (insertAt == item->childCount() && NameLess(name, child->text(0))) insertAt = i;
    }
    // Made since the folder was listed: add it in name order.
    const QString path = ItemPath(item) + name + QLatin1Char('/');
    if (!QFileInfo(path).isDir()) return nullptr;
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return AddFolderItem(item, path, name, insertAt);
}

QTreeWidgetItem* TDirTreeView::SearchFolder(const QString& key) {
    QTreeWidgetItem* root = RootItem();
    if (root == nullptr) return nullptr;
    if (key.isEmpty()) return root;

    // Start from the most specific folder under the computer item that holds
    // the path, so a card is found under its volume rather than under "/".
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* child = root->child(i);
        const QString base = ItemPath(child);
        if (key.startsWith(base) && (item == nullptr || base.size() > ItemPath(item).size())) {
            item = child;
        }
    }
    if (item == nullptr) return nullptr;

    const QStringList names =
        key.mid(ItemPath(item).size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        if (IsHiddenName(name)) return nullptr;
        item = FindOrAddChild(item, name);
        if (item == nullptr) return nullptr;
    }
    return item;
}

bool TDirTreeView::SetDirectory(const QString& path) {
    QString key;
    if (!path.isEmpty()) {
        if (!QFileInfo(path).isDir()) return false;
        key = FolderKey(path);
    }
    setUpdatesEnabled(false);
    QTreeWidgetItem* item = SearchFolder(key);
    setUpdatesEnabled(true);
    if (item == nullptr) return false;
    SetCurFolder(key, item);
    return true;
}

void TDirTreeView::SetCurFolder(const QString& key, QTreeWidgetItem* item) {
    if (current_ && *current_ == key) return;
    current_ = key;

    selecting_ = true;
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
        up->setExpanded(true);
    }
    setCurrentItem(item);
    scrollTo(indexFromItem(item));
    selecting_ = false;
    viewport()->update();

    emit OnChange(key);
}

void TDirTreeView::SelectionChanged(QTreeWidgetItem* current) {
    if (selecting_ || current == nullptr) return;
    SetCurFolder(ItemPath(current), current);
}

void TDirTreeView::ReBuild() {
    const std::optional<QString> remembered = current_;
    BroDir();
    if (remembered) SelectNearest(*remembered);
}

void TDirTreeView::SelectNearest(QString key) {
    // The folder may have gone meanwhile: fall back to what is left of it.
    while (!key.isEmpty()) {
        if (SetDirectory(key)) return;
        if (key == QLatin1String("/")) break;
        key = FolderKey(key + QLatin1String(".."));
    }
    SetDirectory(QString());
}

void TDirTreeView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // The column takes its contents' width only after a delayed layout;
    // settle it first, so that the scroll range fits what is shown.
    executeDelayedItemsLayout();
    header()->resizeSections(QHeaderView::ResizeToContents);
    updateGeometries();
    QTreeWidget::scrollTo(index, hint);
    if (!index.isValid()) return;

    // Sideways: the whole name and, when there is room, the icon and the
    // expander to its left; a name wider than the view shows from its start.
    QScrollBar* bar = horizontalScrollBar();
    const QRect rect = visualRect(index);
    const int left = rect.left() + bar->value();
    const int right = left + std::min(sizeHintForIndex(index).width(), rect.width());
    const int start = left - indentation();
    const int view = viewport()->width();
    int value = bar->value();
    if (right - start <= view) {
        value = std::clamp(value, right - view, start);
    } else {
        value = right - left > view ? left : right - view;
    }
    bar->setValue(value);
}

void TDirTreeView::focusInEvent(QFocusEvent* event) {
    // Qt's views make their first item current when they get the focus; this
    // tree selects nothing until the user or the program picks a folder.
    const bool hadCurrent = currentIndex().isValid();
    const QScopedValueRollback guard(selecting_, true);
    QTreeWidget::focusInEvent(event);
    if (!hadCurrent) selectionModel()->clearCurrentIndex();
}

void TDirTreeView::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    // A folder selected while hidden was scrolled to in the wrong size.
    if (currentIndex().isValid()) scrollTo(currentIndex());
}

void TDirTreeView::AlphaSort() { sortItems(0, Qt::AscendingOrder); }
