#include "app/drive_combo.h"

#include <QDir>
#include <QStorageInfo>
#include <QStringList>

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

TDriveCombo::TDriveCombo(QWidget* parent) : QComboBox(parent) {
    Refresh();
    // Start on the volume of the current folder, as a drive list starts on
    // the current drive.
    const QString current = QStorageInfo(QDir::current()).rootPath();
    const int index = findData(current);
    if (index >= 0) setCurrentIndex(index);
}

void TDriveCombo::Refresh() {
    const QString chosen = Root();
    clear();
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() ||
            !IsCardPlace(volume.rootPath(), QString::fromLatin1(volume.fileSystemType()))) {
            continue;
        }
        addItem(Caption(volume.rootPath(), volume.displayName()), volume.rootPath());
    }
    if (!extraRoot_.isEmpty() && findData(extraRoot_) < 0)
        addItem(Caption(extraRoot_, {}), extraRoot_);
    const int index = findData(chosen);
    if (index >= 0) setCurrentIndex(index);
}

QString TDriveCombo::Root() const { return currentData().toString(); }

void TDriveCombo::SetRoot(const QString& folder) {
    int index = findData(folder);
    if (index < 0) {
        extraRoot_ = folder;
        addItem(Caption(folder, {}), folder);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

void TDriveCombo::showPopup() {
    Refresh();
    QComboBox::showPopup();
}
