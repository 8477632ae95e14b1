// TDirTreeView: a tree of the computer's folders in which the user picks the
// folder to work in. The root item stands for the whole computer (a virtual
// item without a path); its children are the user's home folder, the
// file-system root and every mounted volume. Folders are listed when first
// expanded, hidden (dot) folders are left out, and every newly current folder
// is reported through OnChange. Nothing is selected until the user or the
// program picks a folder. Names are never cut short: the column is as wide
// as its contents and the tree scrolls sideways. The mounted volumes are
// watched, so a card put into the reader shows up by itself.
//
// Paths of real folders are absolute and end with "/" ("/", "/home/ann/").
#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <functional>
#include <optional>

class TDirTreeView : public QTreeWidget {
    Q_OBJECT

  public:
    explicit TDirTreeView(QWidget* parent = nullptr);

    // Path of the selected item; empty for the computer item or when nothing
    // is selected.
    QString GetDirectory() const;

    // Makes the folder at `path` current and selects it; raises OnChange
    // when it differs from the current folder. An empty path means the
    // computer item. Returns false, changing nothing, when the path is not
    // an existing folder that the tree shows (a hidden folder, a file).
    bool SetDirectory(const QString& path);

    // Lists the tree anew from the root and makes the same folder current
    // again, which reports it once more. When that folder has gone, its
    // nearest remaining ancestor is taken.
    void ReBuild();

    // Sorts every listed level by name, ignoring case.
    void AlphaSort();

    // Text of the selected item; empty when nothing is selected.
    QString GetDisplayName() const;

    // The folders shown under the computer item, in this order. By default
    // the home folder, "/" and the mounted volumes (DefaultRootFolders()).
    // Setting them rebuilds the tree; the current folder is forgotten.
    QStringList RootFolders() const { return rootFolders_; }
    void SetRootFolders(const QStringList& folders);
    static QStringList DefaultRootFolders();
    // Root folders of the mounted volumes that hold folders (pseudo file
    // systems and mounted single files left out), in mount order.
    static QStringList MountedVolumes();

    // Where the watcher learns the mounted volumes; by default a cheap
    // check of the system's mount table that lists them (MountedVolumes())
    // only when the table changed. The list the source gives now is taken
    // as the one already shown; every later change of it adds the new
    // volumes to the computer item and removes the vanished ones.
    using VolumeSource = std::function<QStringList()>;
    void SetVolumeSource(VolumeSource source);

    // Path of an item of this tree: empty for the computer item.
    static QString ItemPath(const QTreeWidgetItem* item);
    // Whether an item's children have been listed.
    static bool IsListed(const QTreeWidgetItem* item);
    // The computer item.
    QTreeWidgetItem* RootItem() const { return topLevelItem(0); }

    // Also scrolls sideways so that the item's icon and name show.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

  signals:
    // A different folder became current: its path, or empty for the
    // computer item.
    void OnChange(const QString& path);

  private:
    void BroDir();
    void ListChildren(QTreeWidgetItem* item);
    QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const QString& path,
                                   const QString& text, int index = -1);
    QTreeWidgetItem* SearchFolder(const QString& path);
    QTreeWidgetItem* FindOrAddChild(QTreeWidgetItem* item, const QString& name);
    void SetCurFolder(const QString& key, QTreeWidgetItem* item);
    void SelectionChanged(QTreeWidgetItem* current);
    void SelectNearest(QString key);
    QTreeWidgetItem* AddRootFolderItem(QTreeWidgetItem* root, const QString& key);
    void CheckVolumes();
    void UpdateVolumes(const QStringList& added, const QStringList& removed);

    QStringList rootFolders_;
    VolumeSource volumeSource_;
    // The volumes as the source last gave them.
    QStringList lastVolumes_;
    // Path of the folder last reported ("" for the computer item), or none.
    std::optional<QString> current_;
    bool selecting_ = false;
};
