#include "controls/dirtreeview.h"

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList ChildTexts(const QTreeWidgetItem* item) {
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i) texts << item->child(i)->text(0);
    return texts;
}

QTreeWidgetItem* Child(const QTreeWidgetItem* item, const QString& text) {
    for (int i = 0; i < item->childCount(); ++i) {
        if (item->child(i)->text(0) == text) return item->child(i);
    }
    return nullptr;
}

int Depth(const QTreeWidgetItem* item) {
    int depth = 0;
    for (const QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) ++depth;
    return depth;
}

// Every item shown, that is whose ancestors are all expanded.
QList<QTreeWidgetItem*> ShownItems(const QTreeWidgetItem* item) {
    QList<QTreeWidgetItem*> items;
    if (!item->isExpanded()) return items;
    for (int i = 0; i < item->childCount(); ++i) {
        items << item->child(i) << ShownItems(item->child(i));
    }
    return items;
}

// Where the item's icon and name lie in the viewport.
QRect IconAndNameRect(const QTreeWidget& tree, const QTreeWidgetItem* item) {
    QRect rect = tree.visualItemRect(item);
    const int icon = tree.style()->pixelMetric(QStyle::PM_SmallIconSize);
    rect.setWidth(icon + tree.fontMetrics().horizontalAdvance(item->text(0)));
    return rect;
}

QStringList Reports(const QSignalSpy& spy) {
    QStringList paths;
    for (const QList<QVariant>& call : spy) paths << call[0].toString();
    return paths;
}

}  // namespace

class DirTreeViewTest : public QObject {
    Q_OBJECT

    // work/ holds Gamma/, Alpha/ (with x/y/ and .secret/), beta/, .hidden/
    // and a file; the tree's computer item lists work/ only.
    QTemporaryDir temp_;
    QString work_;

    QString Path(const QString& relative) const { return work_ + relative; }

  private slots:
    void init() {
        QVERIFY(temp_.isValid());
        work_ = temp_.path() + QStringLiteral("/work/");
        QDir().mkpath(work_);
        for (const char* folder : {"Gamma", "Alpha/x/y", "Alpha/.secret", "beta", ".hidden"}) {
            QVERIFY(QDir().mkpath(Path(QString::fromLatin1(folder))));
        }
        QFile file(Path(QStringLiteral("notes.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    void cleanup() { QDir(work_).removeRecursively(); }

    void deepFoldersScrollSidewaysWithNamesWhole() {
        QString deep = work_;
        for (const char* name :
             {"Recordings of the Summer Sessions", "Band Rehearsals and Demos",
              "Second Studio Week", "Monday Evening Takes", "Guitar and Vocal Overdubs",
              "Final Mixdown Candidates", "Card Backups Before Editing", "TRX-5 Card of 14 July"}) {
            deep += QString::fromLatin1(name) + QLatin1Char('/');
        }
        QVERIFY(QDir().mkpath(deep));
        TDirTreeView tree;
        tree.resize(165, 414);
        tree.setIndentation(19);
        tree.SetRootFolders({work_});
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QCOMPARE(tree.textElideMode(), Qt::ElideNone);

        QVERIFY(tree.SetDirectory(deep));
        QTRY_VERIFY(tree.horizontalScrollBar()->isVisible());
        QTreeWidgetItem* const selected = tree.currentItem();
        QCOMPARE(TDirTreeView::ItemPath(selected), deep);
        QVERIFY(tree.horizontalScrollBar()->value() > 0);
        QVERIFY(tree.viewport()->rect().contains(IconAndNameRect(tree, selected)));

        // The column is as wide as the widest item shown, indentation included.
        const QList<QTreeWidgetItem*> shown = ShownItems(tree.RootItem());
        QVERIFY(shown.size() > 8);
        for (const QTreeWidgetItem* item : shown) {
            const int width = Depth(item) * tree.indentation() +
                              tree.fontMetrics().horizontalAdvance(item->text(0));
            QVERIFY2(tree.columnWidth(0) >= width, qPrintable(item->text(0)));
        }

        // The user's choice is brought into view as well, from either side.
        QTreeWidgetItem* middle = selected;
        while (middle->text(0) != QLatin1String("Second Studio Week")) middle = middle->parent();
        const struct {
            QTreeWidgetItem* item;
            int scrolledTo;
        } choices[] = {{middle, tree.horizontalScrollBar()->maximum()}, {selected, 0}};
        for (const auto& choice : choices) {
            tree.horizontalScrollBar()->setValue(choice.scrolledTo);
            tree.setCurrentItem(choice.item);
            QVERIFY(tree.viewport()->rect().contains(IconAndNameRect(tree, choice.item)));
        }
    }

    void nothingIsSelectedUntilAFolderIsPicked() {
        QWidget window;
        auto* tree = new TDirTreeView(&window);
        tree->setGeometry(0, 0, 165, 414);
        tree->SetRootFolders({work_});
        QSignalSpy changes(tree, &TDirTreeView::OnChange);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        tree->setFocus();
        QVERIFY(tree->hasFocus());
        for (int round = 0; round < 2; ++round) {
            QCoreApplication::processEvents();
            QCOMPARE(tree->currentItem(), nullptr);
            QVERIFY(tree->selectedItems().isEmpty());
            QCOMPARE(tree->GetDirectory(), QString());
            QCOMPARE(tree->GetDisplayName(), QString());
            QCOMPARE(changes.count(), 0);
            tree->ReBuild();
        }

        // The keyboard starts at the computer item.
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentItem(), tree->RootItem());
        QCOMPARE(Reports(changes), QStringList{QString()});
    }

    void volumesAppearAndVanishByThemselves() {
        // A "card" mounted below work/mnt/, reachable from work/ as well.
        const QString card = Path("mnt/CARD/");
        QVERIFY(QDir().mkpath(card + "Songs"));
        QStringList mounted;
        TDirTreeView tree;
        tree.SetRootFolders({work_});
        tree.SetVolumeSource([&mounted] { return mounted; });
        QVERIFY(tree.SetDirectory(Path("Alpha/x")));
        QSignalSpy changes(&tree, &TDirTreeView::OnChange);
        QTreeWidgetItem* const root = tree.RootItem();

        // Not while the tree is disabled (its window is busy), but once it is
        // enabled again.
        tree.setEnabled(false);
        mounted << card;
        QTest::qWait(1500);
        QCOMPARE(root->childCount(), 1);
        tree.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(root->childCount() == 2, 2000);
        QCOMPARE(ChildTexts(root), (QStringList{"work", "CARD"}));
        QCOMPARE(TDirTreeView::ItemPath(root->child(1)), card);
        QCOMPARE(tree.GetDirectory(), Path("Alpha/x/"));
        QVERIFY(Child(root->child(0), "Alpha")->isExpanded());
        QCOMPARE(changes.count(), 0);

        // A folder of the card is found under the card's own item.
        QVERIFY(tree.SetDirectory(card + "Songs"));
        QCOMPARE(tree.currentItem()->parent(), root->child(1));

        // Pulled out: the card's item goes, and what is left of the path
        // becomes current and is reported.
        QVERIFY(QDir(card).removeRecursively());
        mounted.clear();
        QTRY_VERIFY_WITH_TIMEOUT(root->childCount() == 1, 2000);
        QCOMPARE(Reports(changes), (QStringList{card + "Songs/", Path("mnt/")}));
        QCOMPARE(tree.GetDirectory(), Path("mnt/"));
        QVERIFY(!tree.RootFolders().contains(card));
    }

    void computerItemHoldsHomeRootAndVolumes() {
        TDirTreeView tree;
        QTreeWidgetItem* root = tree.RootItem();
        QVERIFY(root != nullptr);
        QCOMPARE(tree.topLevelItemCount(), 1);
        QCOMPARE(TDirTreeView::ItemPath(root), QString());
        QVERIFY(root->isExpanded());

        const QStringList folders = TDirTreeView::DefaultRootFolders();
        QVERIFY(folders.size() >= 2);
        QCOMPARE(folders[0], QDir::homePath() + QLatin1Char('/'));
        QCOMPARE(folders[1], QStringLiteral("/"));
        QCOMPARE(QStringList(folders).removeDuplicates(), 0);
        // Every mounted volume that holds folders, and no pseudo file system.
        for (const QString& volume : TDirTreeView::MountedVolumes()) {
            QVERIFY(folders.contains(volume));
            QVERIFY(!volume.startsWith("/proc/") && !volume.startsWith("/sys/"));
        }
        QCOMPARE(root->childCount(), folders.size());
        for (int i = 0; i < root->childCount(); ++i) {
            QCOMPARE(TDirTreeView::ItemPath(root->child(i)), folders[i]);
            QVERIFY(QFileInfo(folders[i]).isDir());
            QVERIFY(!TDirTreeView::IsListed(root->child(i)));
        }
    }

    void selectingTheComputerReportsAnEmptyPath() {
        TDirTreeView tree;
        tree.SetRootFolders({work_});
        QSignalSpy changes(&tree, &TDirTreeView::OnChange);
        tree.SetDirectory(Path("beta"));
        tree.setCurrentItem(tree.RootItem());
        QCOMPARE(Reports(changes), (QStringList{Path("beta/"), QString()}));
        QCOMPARE(tree.GetDirectory(), QString());
        QCOMPARE(tree.GetDisplayName(), QStringLiteral("Computer"));
    }

    void foldersAreListedOnFirstExpansion() {
        TDirTreeView tree;
        tree.SetRootFolders({work_});
        QTreeWidgetItem* work = tree.RootItem()->child(0);
        QCOMPARE(work->childCount(), 0);
        QCOMPARE(work->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

        work->setExpanded(true);
        QVERIFY(TDirTreeView::IsListed(work));
        // Sorted ignoring case; no hidden folders, no files.
        QCOMPARE(ChildTexts(work), (QStringList{"Alpha", "beta", "Gamma"}));
        QTreeWidgetItem* alpha = Child(work, "Alpha");
        QCOMPARE(TDirTreeView::ItemPath(alpha), Path("Alpha/"));
        QCOMPARE(alpha->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(Child(work, "beta")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QVERIFY(!TDirTreeView::IsListed(alpha));
        QCOMPARE(alpha->childCount(), 0);

        alpha->setExpanded(true);
        QCOMPARE(ChildTexts(alpha), QStringList{"x"});  // .secret stays out

        // A second expansion lists nothing twice.
        work->setExpanded(false);
        work->setExpanded(true);
        QCOMPARE(work->childCount(), 3);
    }

    void computerChildrenKeepTheirOrderUntilSorted() {
        TDirTreeView tree;
        tree.SetRootFolders({Path("Gamma"), Path("beta"), Path("Alpha")});
        QTreeWidgetItem* root = tree.RootItem();
        QCOMPARE(ChildTexts(root), (QStringList{"Gamma", "beta", "Alpha"}));
        tree.SetDirectory(Path("Alpha/x"));
        tree.AlphaSort();
        QCOMPARE(ChildTexts(root), (QStringList{"Alpha", "beta", "Gamma"}));
        // Sorting keeps the selection and what was opened.
        QCOMPARE(tree.GetDirectory(), Path("Alpha/x/"));
        QVERIFY(Child(root, "Alpha")->isExpanded());
    }

    void setDirectorySelectsAndReportsOnlyNewFolders() {
        TDirTreeView tree;
        tree.SetRootFolders({work_});
        QSignalSpy changes(&tree, &TDirTreeView::OnChange);

        const struct {
            QString path;
            bool accepted;
        } calls[] = {
            {Path("Alpha/x/y"), true},       // opens every level on the way
            {Path("Alpha/x/y/"), true},      // the same folder: no report
            {Path("Alpha/x/y/../y"), true},  // still the same
            {Path("missing"), false},        // not a folder
            {Path("notes.txt"), false},      // a file
            {Path("Alpha/.secret"), false},  // hidden: the tree does not show it
            {Path("beta"), true},
        };
        for (const auto& call : calls) QCOMPARE(tree.SetDirectory(call.path), call.accepted);
        QCOMPARE(Reports(changes), (QStringList{Path("Alpha/x/y/"), Path("beta/")}));
        QCOMPARE(tree.GetDirectory(), Path("beta/"));
        QVERIFY(Child(tree.RootItem()->child(0), "Alpha")->isExpanded());

        // The user selecting the current folder again reports nothing either;
        // another folder is reported.
        QTreeWidgetItem* work = tree.RootItem()->child(0);
        tree.setCurrentItem(Child(work, "beta"));
        tree.setCurrentItem(Child(work, "Gamma"));
        QCOMPARE(Reports(changes).size(), 3);
        QCOMPARE(Reports(changes).last(), Path("Gamma/"));
        QCOMPARE(tree.GetDirectory(), Path("Gamma/"));
    }

    void findsAFolderMadeAfterItsParentWasListed() {
        TDirTreeView tree;
        tree.SetRootFolders({work_});
        QVERIFY(tree.SetDirectory(Path("beta")));
        QVERIFY(QDir().mkdir(Path("Delta")));
        QVERIFY(tree.SetDirectory(Path("Delta")));
        QCOMPARE(tree.GetDirectory(), Path("Delta/"));
        QCOMPARE(ChildTexts(tree.RootItem()->child(0)),
                 (QStringList{"Alpha", "beta", "Delta", "Gamma"}));
    }

    void reBuildReportsTheSameFolderAgain() {
        TDirTreeView tree;
        tree.SetRootFolders({work_});
        QSignalSpy changes(&tree, &TDirTreeView::OnChange);
        tree.ReBuild();  // nothing current yet: nothing to report or select
        QCOMPARE(changes.count(), 0);
        QCOMPARE(tree.currentItem(), nullptr);

        QVERIFY(tree.SetDirectory(Path("Alpha/x")));
        QVERIFY(QDir().mkdir(Path("Alpha/x/new")));
        tree.ReBuild();
        QCOMPARE(Reports(changes), (QStringList{Path("Alpha/x/"), Path("Alpha/x/")}));
        QCOMPARE(tree.GetDirectory(), Path("Alpha/x/"));
        QTreeWidgetItem* x = tree.currentItem();
        x->setExpanded(true);
        QCOMPARE(ChildTexts(x), (QStringList{"new", "y"}));

        // A folder that has gone is replaced by what is left of its path.
        QVERIFY(QDir(Path("Alpha/x")).removeRecursively());
        tree.ReBuild();
        QCOMPARE(Reports(changes).last(), Path("Alpha/"));
        QCOMPARE(tree.GetDirectory(), Path("Alpha/"));

        tree.setCurrentItem(tree.RootItem());
        tree.ReBuild();
        QCOMPARE(Reports(changes).last(), QString());
        QCOMPARE(tree.currentItem(), tree.RootItem());
    }

    void emptyPathSelectsTheComputer() {
        TDirTreeView tree;
        tree.SetRootFolders({work_});
        QSignalSpy changes(&tree, &TDirTreeView::OnChange);
        QVERIFY(tree.SetDirectory(QString()));
        QCOMPARE(Reports(changes), QStringList{QString()});
        QCOMPARE(tree.currentItem(), tree.RootItem());
    }

    void pathsUnderTheFileSystemRootAreFound() {
        // The default tree reaches any folder through "/" (or a more
        // specific volume or the home folder).
        TDirTreeView tree;
        QVERIFY(tree.SetDirectory(Path("Alpha/x")));
        QCOMPARE(tree.GetDirectory(), Path("Alpha/x/"));
    }
};

QTEST_MAIN(DirTreeViewTest)
#include "dirtreeview_test.moc"
