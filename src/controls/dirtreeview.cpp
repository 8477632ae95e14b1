#include "controls/dirtreeview.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>

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

}  // namespace

TDirTreeView::TDirTreeView(QWidget* parent)
    : QTreeWidget(parent), rootFolders_(DefaultRootFolders()) {
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(false);
    setUniformRowHeights(true);

    connect(this, &QTreeWidget::itemExpanded, this, &TDirTreeView::ListChildren);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { SelectionChanged(current); });
    BroDir();
}

QStringList TDirTreeView::DefaultRootFolders() {
    QStringList folders{FolderKey(QDir::homePath()), QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        // Bind mounts of single files show up as volumes too.
        if (!QFileInfo(volume.rootPath()).isDir()) continue;
        const QString key = FolderKey(volume.rootPath());
        if (!folders.contains(key)) folders.append(key);
    }
    return folders;
}

void TDirTreeView::SetRootFolders(const QStringList& folders) {
    rootFolders_.clear();
    for (const QString& folder : folders) {
        const QString key = FolderKey(folder);
        if (!rootFolders_.contains(key)) rootFolders_.append(key);
    }
    BroDir();
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
        if (!QFileInfo(key).isDir()) continue;
        QTreeWidgetItem* item = AddFolderItem(root, key, RootFolderText(key));
        const QStyle::StandardPixmap icon = key == QLatin1String("/") ? QStyle::SP_DriveHDIcon
                                            : key == FolderKey(QDir::homePath())
                                                ? QStyle::SP_DirHomeIcon
                                                : QStyle::SP_DriveHDIcon;
        item->setIcon(0, style()->standardIcon(icon));
    }
    root->setExpanded(true);
    selecting_ = wasSelecting;
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
    scrollToItem(item);
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
    if (!remembered) return;
    // The folder may have gone meanwhile: fall back to what is left of it.
    QString key = *remembered;
    while (!key.isEmpty()) {
        if (SetDirectory(key)) return;
        if (key == QLatin1String("/")) break;
        key = FolderKey(key + QLatin1String(".."));
    }
    SetDirectory(QString());
}

void TDirTreeView::AlphaSort() { sortItems(0, Qt::AscendingOrder); }
