#include "app/drive_combo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>
#include <algorithm>

namespace {

QString Caption(const QString& root, const QString& name) {
    QString text = QDir::toNativeSeparators(root);
    if (!name.isEmpty() && name != root) text += QStringLiteral(" [%1]").arg(name);
    return text;
}

}  // namespace

bool TDriveCombo::IsCardPlace(const QString& root, const QString& fileSystemType) {
    static const QStringList kSystemTypes = {
        "tmpfs",   "devtmpfs",   "ramfs",       "squashfs", "overlay",  "proc",
        "sysfs",   "cgroup",     "cgroup2",     "autofs",   "devpts",   "debugfs",
        "tracefs", "securityfs", "pstore",      "bpf",      "configfs", "fusectl",
        "mqueue",  "hugetlbfs",  "binfmt_misc", "efivarfs", "nsfs",     "rpc_pipefs"};
    if (kSystemTypes.contains(fileSystemType)) return false;
    for (const char* system : {"/proc", "/sys", "/dev", "/boot", "/snap", "/var"}) {
        const QString prefix = QString::fromLatin1(system);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/'))) return false;
    }
    return !root.startsWith(QStringLiteral("/run/")) ||
           root.startsWith(QStringLiteral("/run/media/"));
}

bool TDriveCombo::IsCardVolume(const Volume& volume) {
    if (volume.removable) return true;
    for (const char* media : {"/media/", "/run/media/", "/mnt/"}) {
        if (volume.root.startsWith(QLatin1String(media))) return true;
    }
    return false;
}

QList<TDriveCombo::Volume> TDriveCombo::CardVolumesFirst(QList<Volume> volumes) {
    std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
        const bool cardA = IsCardVolume(a);
        const bool cardB = IsCardVolume(b);
        if (cardA != cardB) return cardA;
        return a.root < b.root;
    });
    return volumes;
}

namespace {

// Whether the block device of a volume ("/dev/sdb1") is one that can be
// taken out: its disk's "removable" flag in sysfs.
bool IsRemovableDevice(const QByteArray& device) {
    if (!device.startsWith("/dev/")) return false;
    const QString name = QString::fromLocal8Bit(device.mid(5));
    // A partition's folder lies inside its disk's, which holds the flag.
    const QFileInfo block(QStringLiteral("/sys/class/block/") + name);
    QDir disk(block.canonicalFilePath());
    for (int up = 0; up < 2 && !disk.path().isEmpty(); ++up, disk.cdUp()) {
        QFile flag(disk.filePath(QStringLiteral("removable")));
        if (flag.open(QIODevice::ReadOnly)) return flag.readAll().trimmed() == "1";
    }
    return false;
}

}  // namespace

TDriveCombo::TDriveCombo(QWidget* parent) : QComboBox(parent) { Refresh(); }

void TDriveCombo::Refresh() {
    const QString chosen = Root();
    QList<Volume> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() ||
            !IsCardPlace(volume.rootPath(), QString::fromLatin1(volume.fileSystemType()))) {
            continue;
        }
        volumes.append(
            {volume.rootPath(), volume.displayName(), IsRemovableDevice(volume.device())});
    }
    if (!extraRoot_.isEmpty() &&
        std::none_of(volumes.begin(), volumes.end(),
                     [this](const Volume& v) { return v.root == extraRoot_; })) {
        volumes.append({extraRoot_, {}, true});
    }
    Fill(CardVolumesFirst(volumes));
    const int index = findData(chosen);
    if (index >= 0) setCurrentIndex(index);
}

void TDriveCombo::Fill(const QList<Volume>& volumes) {
    clear();
    // With no card in the list, an empty entry comes first and is chosen:
    // the system's own disks are offered, never chosen for the user.
    if (volumes.isEmpty() || !IsCardVolume(volumes.front())) addItem(QString(), QString());
    for (const Volume& volume : volumes) addItem(Caption(volume.root, volume.name), volume.root);
    setCurrentIndex(0);
}

QString TDriveCombo::Root() const { return currentData().toString(); }

void TDriveCombo::SetRoot(const QString& folder) {
    if (findData(folder) < 0) {
        extraRoot_ = folder;
        Refresh();
    }
    setCurrentIndex(findData(folder));
}

void TDriveCombo::showPopup() {
    Refresh();
    QComboBox::showPopup();
}
