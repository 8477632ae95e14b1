// The card drive list: the mounted volumes where a card can be (pseudo and
// system file systems left out), each shown by its mount folder and, when it
// has one, the volume's name. Card volumes (removable media, and what is
// mounted under /media, /run/media or /mnt) come first and the first of them
// is chosen; without one, an empty entry comes first and is chosen, so that
// the system's own disks are never the default. The list is read again each
// time it is opened, so a card put in while the program runs can be chosen.
#pragma once

#include <QComboBox>
#include <QString>

class TDriveCombo : public QComboBox {
    Q_OBJECT

  public:
    explicit TDriveCombo(QWidget* parent = nullptr);

    // Reads the mounted volumes again, keeping the chosen one when it is
    // still there.
    void Refresh();
    // The mount folder of the chosen volume ("/media/user/CARD"); empty when
    // there is none.
    QString Root() const;
    // Chooses the volume mounted at `folder`, adding it to the list when it
    // is not there (a card folder given by hand).
    void SetRoot(const QString& folder);

    void showPopup() override;

    // Whether a volume mounted at `root` with this file system can hold a
    // card: pseudo and system file systems and the system's own folders
    // cannot (removable media under /run/media can).
    static bool IsCardPlace(const QString& root, const QString& fileSystemType);

    struct Volume {
        QString root;
        QString name;
        bool removable = false;  // its device can be taken out
    };
    // A card volume: removable, or mounted where removable media go.
    static bool IsCardVolume(const Volume& volume);
    // The card volumes first, each part by mount folder.
    static QList<Volume> CardVolumesFirst(QList<Volume> volumes);

  private:
    // Lists the volumes, in order, and chooses the first entry.
    void Fill(const QList<Volume>& volumes);

    QString extraRoot_;  // a folder chosen by hand, kept across refreshes
};
