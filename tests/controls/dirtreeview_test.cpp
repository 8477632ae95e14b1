#include "controls/dirtreeview.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
        tree.ReBuild();  // nothing current yet: nothing to report
        QCOMPARE(changes.count(), 0);

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
