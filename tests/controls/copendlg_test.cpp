#include "controls/copendlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <memory>

using namespace CustDlgs;

Q_DECLARE_METATYPE(std::optional<QSize>)

namespace {

const std::optional<QSize> kNoSubForm;

// Runs one showing: `inspect` gets the open dialog from OnShow, inside the
// dialog's event loop; then the dialog is accepted (when asked) or
// cancelled, so a failed check never leaves it waiting.
bool RunShowing(TCOpenDialog& dialog, const std::function<void(QFileDialog*)>& inspect,
                bool accept = false) {
    const auto connection = QObject::connect(&dialog, &TCOpenDialog::OnShow, &dialog, [&] {
        QFileDialog* open = dialog.Dialog();
        inspect(open);
        if (accept) static_cast<QDialog*>(open)->accept();
        if (open->isVisible()) open->reject();
    });
    const bool chosen = dialog.Execute();
    QObject::disconnect(connection);
    return chosen;
}

// Makes the item at `path` current in the dialog's file view, as a click
// or an arrow key does. The folder is read in the background.
bool MakeCurrent(QFileDialog* dialog, const QString& path) {
    auto* model = dialog->findChild<QFileSystemModel*>();
    QAbstractItemView* view = nullptr;
    for (QAbstractItemView* candidate : dialog->findChildren<QAbstractItemView*>()) {
        if (candidate->isVisible() && candidate->model() == model &&
            !qobject_cast<QHeaderView*>(candidate)) {
            view = candidate;
        }
    }
    if (!model || !view) return false;
    if (!QTest::qWaitFor([&] { return model->index(path).isValid(); })) return false;
    view->setCurrentIndex(model->index(path));
    return true;
}

// A form of fixed client size, as the program's forms are.
std::unique_ptr<QWidget> MakeSubForm(QSize size) {
    auto form = std::make_unique<QWidget>();
    form->setFixedSize(size);
    return form;
}

// Bottom edge of the dialog's buttons in dialog coordinates.
int ButtonsBottom(QFileDialog* dialog) {
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    return buttons ? buttons->mapTo(dialog, QPoint(0, buttons->height())).y() : -1;
}

}  // namespace

class COpenDlgTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QSize plain_;  // the dialog as Qt makes it, without a sub-form

    QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

  private slots:
    void initTestCase() {
        // Qt's dialog keeps its history in the user's settings.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir_.isValid());
        for (const char* name : {"a.wav", "b.aif", "notes.txt"}) {
            QFile file(Path(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("Sub")));
        TCOpenDialog dialog;
        RunShowing(dialog, [this](QFileDialog* open) { plain_ = open->size(); });
        QVERIFY(plain_.width() > 100 && plain_.height() > 100);
    }

    // --- layout rules ---------------------------------------------------

    void minDialogSize_data() {
        QTest::addColumn<std::optional<QSize>>("subForm");
        QTest::addColumn<TSubFormPos>("pos");
        QTest::addColumn<TDialogEdgeSpace>("edges");
        QTest::addColumn<QSize>("expected");
        // A window of 600 x 400 around a client of 590 x 370.
        const TDialogEdgeSpace none;
        const TDialogEdgeSpace all(5, 6, 7, 8);
        QTest::newRow("no sub-form") << kNoSubForm << fpBottom << none << QSize(600, 400);
        QTest::newRow("no sub-form, client margins ignored")
            << kNoSubForm << fpClient << all << QSize(600, 400);
        QTest::newRow("left, short form")
            << std::optional(QSize(100, 50)) << fpLeft << none << QSize(700, 400);
        QTest::newRow("right, tall form")
            << std::optional(QSize(100, 500)) << fpRight << none << QSize(700, 530);
        QTest::newRow("top, narrow form")
            << std::optional(QSize(416, 83)) << fpTop << none << QSize(600, 483);
        QTest::newRow("bottom, wide form")
            << std::optional(QSize(700, 83)) << fpBottom << none << QSize(710, 483);
        QTest::newRow("client, no margins")
            << std::optional(QSize(800, 900)) << fpClient << none << QSize(600, 400);
        QTest::newRow("client, top margin needs the form's width")
            << std::optional(QSize(800, 900)) << fpClient << TDialogEdgeSpace(0, 10, 0, 0)
            << QSize(810, 410);
        QTest::newRow("client, side margins need the form's height")
            << std::optional(QSize(800, 900)) << fpClient << TDialogEdgeSpace(5, 0, 7, 0)
            << QSize(612, 930);
        QTest::newRow("client, small form")
            << std::optional(QSize(100, 100)) << fpClient << all << QSize(612, 414);
    }
    void minDialogSize() {
        QFETCH(std::optional<QSize>, subForm);
        QFETCH(TSubFormPos, pos);
        QFETCH(TDialogEdgeSpace, edges);
        QFETCH(QSize, expected);
        QCOMPARE(GetMinDialogSize(QSize(600, 400), QSize(590, 370), subForm, pos, edges), expected);
    }

    void controlsAndSubFormRect_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<std::optional<QSize>>("subForm");
        QTest::addColumn<TSubFormPos>("pos");
        QTest::addColumn<TDialogEdgeSpace>("edges");
        QTest::addColumn<QRect>("controls");
        QTest::addColumn<QRect>("form");
        QTest::addColumn<TDialogEdgeSpace>("now");
        // Initial client 590 x 370; a sub-form of 100 x 50 unless told.
        const std::optional<QSize> form(QSize(100, 50));
        const TDialogEdgeSpace none;
        const TDialogEdgeSpace client(10, 20, 30, 40);
        QTest::newRow("left") << QSize(690, 370) << form << fpLeft << none
                              << QRect(100, 0, 590, 370) << QRect(0, 0, 100, 370)
                              << TDialogEdgeSpace(100, 0, 0, 0);
        QTest::newRow("left, narrow: margin takes what is left")
            << QSize(640, 370) << form << fpLeft << none << QRect(50, 0, 590, 370)
            << QRect(0, 0, 50, 370) << TDialogEdgeSpace(50, 0, 0, 0);
        QTest::newRow("right") << QSize(800, 400) << form << fpRight << none
                               << QRect(0, 0, 700, 400) << QRect(700, 0, 100, 400)
                               << TDialogEdgeSpace(0, 0, 100, 0);
        QTest::newRow("top") << QSize(590, 500) << form << fpTop << none << QRect(0, 50, 590, 450)
                             << QRect(0, 0, 590, 50) << TDialogEdgeSpace(0, 50, 0, 0);
        QTest::newRow("bottom, low")
            << QSize(590, 400) << form << fpBottom << none << QRect(0, 0, 590, 370)
            << QRect(0, 370, 590, 30) << TDialogEdgeSpace(0, 0, 0, 30);
        QTest::newRow("bottom, the program's form")
            << QSize(624, 491) << std::optional(QSize(416, 83)) << fpBottom << none
            << QRect(0, 0, 624, 408) << QRect(0, 408, 624, 83) << TDialogEdgeSpace(0, 0, 0, 83);
        QTest::newRow("client") << QSize(700, 500) << form << fpClient << client
                                << QRect(10, 20, 660, 440) << QRect(0, 0, 700, 500) << client;
        QTest::newRow("client, small: margins share in proportion")
            << QSize(610, 400) << form << fpClient << client << QRect(5, 10, 590, 370)
            << QRect(0, 0, 610, 400) << TDialogEdgeSpace(5, 10, 15, 20);
        QTest::newRow("client, shares round toward the left")
            << QSize(592, 370) << form << fpClient << TDialogEdgeSpace(1, 0, 2, 0)
            << QRect(0, 0, 590, 370) << QRect(0, 0, 592, 370) << TDialogEdgeSpace(0, 0, 2, 0);
        QTest::newRow("no sub-form") << QSize(700, 400) << kNoSubForm << fpLeft << none
                                     << QRect(0, 0, 700, 400) << QRect() << none;
        // Smaller than the initial client: the margins get nothing rather
        // than less than nothing.
        QTest::newRow("bottom, client below its initial size")
            << QSize(500, 300) << form << fpBottom << none << QRect(0, 0, 500, 300)
            << QRect(0, 300, 500, 0) << none;
    }
    void controlsAndSubFormRect() {
        QFETCH(QSize, client);
        QFETCH(std::optional<QSize>, subForm);
        QFETCH(TSubFormPos, pos);
        QFETCH(TDialogEdgeSpace, edges);
        QFETCH(QRect, controls);
        QFETCH(QRect, form);
        QFETCH(TDialogEdgeSpace, now);
        const QSize initial = subForm == QSize(416, 83) ? QSize(624, 408) : QSize(590, 370);
        const TSubFormLayout layout =
            GetControlsandSubFormRect(client, initial, subForm, pos, edges);
        QCOMPARE(layout.controls, controls);
        QCOMPARE(layout.subForm, form);
        QVERIFY(layout.nowEdgeSpace == now);
    }

    void fixedControlsAndSubFormRect_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<TSubFormPos>("pos");
        QTest::addColumn<TDialogEdgeSpace>("edges");
        QTest::addColumn<TSubFormAnchors>("anchors");
        QTest::addColumn<QRect>("controls");
        QTest::addColumn<QRect>("form");
        // A window of 600 x 400 around a client of 590 x 370 (frame 10 x 30),
        // a sub-form of 100 x 50.
        const TDialogEdgeSpace none;
        const TSubFormAnchors all = faLeft | faTop | faRight | faBottom;
        const TSubFormAnchors free;
        QTest::newRow("bottom, anchored: the controls grow")
            << QSize(690, 470) << fpBottom << none << all << QRect(0, 0, 690, 420)
            << QRect(0, 420, 690, 50);
        QTest::newRow("bottom, free: the form grows")
            << QSize(690, 470) << fpBottom << none << free << QRect(0, 0, 690, 370)
            << QRect(0, 370, 690, 100);
        QTest::newRow("left, free") << QSize(790, 370) << fpLeft << none << free
                                    << QRect(200, 0, 590, 370) << QRect(0, 0, 200, 370);
        QTest::newRow("left, anchored")
            << QSize(790, 370) << fpLeft << none << TSubFormAnchors(faLeft)
            << QRect(100, 0, 690, 370) << QRect(0, 0, 100, 370);
        QTest::newRow("right, anchored")
            << QSize(790, 370) << fpRight << none << TSubFormAnchors(faRight)
            << QRect(0, 0, 690, 370) << QRect(690, 0, 100, 370);
        QTest::newRow("client, free: both sides share")
            << QSize(740, 370) << fpClient << TDialogEdgeSpace(10, 0, 30, 0) << free
            << QRect(37, 0, 590, 370) << QRect(0, 0, 740, 370);
        QTest::newRow("client, left anchored: the right side takes it")
            << QSize(740, 370) << fpClient << TDialogEdgeSpace(10, 0, 30, 0)
            << TSubFormAnchors(faLeft) << QRect(10, 0, 590, 370) << QRect(0, 0, 740, 370);
    }
    void fixedControlsAndSubFormRect() {
        QFETCH(QSize, client);
        QFETCH(TSubFormPos, pos);
        QFETCH(TDialogEdgeSpace, edges);
        QFETCH(TSubFormAnchors, anchors);
        QFETCH(QRect, controls);
        QFETCH(QRect, form);
        const QSize window(600, 400);
        const QSize initial(590, 370);
        const std::optional<QSize> subForm(QSize(100, 50));
        const QSize minimum = GetMinDialogSize(window, initial, subForm, pos, edges);
        const TSubFormLayout layout = GetFixedControlsandSubFormRect(
            client, initial, window - initial, minimum, subForm, pos, edges, anchors);
        QCOMPARE(layout.controls, controls);
        QCOMPARE(layout.subForm, form);
    }

    void dialogPosition_data() {
        QTest::addColumn<QPoint>("remembered");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("expected");
        const QPoint none(-1, -1);
        QTest::newRow("centred, a third down")
            << none << QSize(624, 491) << QRect(0, 0, 800, 800) << QPoint(88, 103);
        QTest::newRow("second screen")
            << none << QSize(628, 495) << QRect(1920, 0, 1280, 1024) << QPoint(2246, 176);
        QTest::newRow("larger than the screen")
            << none << QSize(900, 700) << QRect(0, 0, 800, 600) << QPoint(-50, -33);
        QTest::newRow("remembered")
            << QPoint(30, 40) << QSize(624, 491) << QRect(0, 0, 800, 800) << QPoint(30, 40);
        QTest::newRow("only x remembered")
            << QPoint(30, -1) << QSize(624, 491) << QRect(0, 0, 800, 800) << QPoint(30, 103);
    }
    void dialogPosition() {
        QFETCH(QPoint, remembered);
        QFETCH(QSize, window);
        QFETCH(QRect, screen);
        QFETCH(QPoint, expected);
        QCOMPARE(GetDialogPosition(remembered, window, screen), expected);
    }

    void edgeSpaceSetters() {
        TDialogEdgeSpace space;
        QVERIFY(space == TDialogEdgeSpace(0, 0, 0, 0));
        for (int index = 0; index < 4; ++index) space.SetEdgeSpace(index, 10 + index);
        QVERIFY(space == TDialogEdgeSpace(10, 11, 12, 13));
        space.SetEdgeSpace(4, 99);
        space.SetEdgeSpace(-1, 99);
        QVERIFY(space == TDialogEdgeSpace(10, 11, 12, 13));
        space.SetEdgeSpace(1, -5);
        QCOMPARE(space.TopSpace(), 0);
        space.SetAllEdgeSpace(1, 2, 3, 4);
        QCOMPARE((QList<int>{space.LeftSpace(), space.TopSpace(), space.RightSpace(),
                             space.BottomSpace()}),
                 (QList<int>{1, 2, 3, 4}));
        TDialogEdgeSpace copy;
        copy.Assign(space);
        QVERIFY(copy == space);
    }

    void nameFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("the import's filter")
            << "Audio(*.wav;*.aif)|*.wav;*.aif|Windows Wave(*.wav)|*.wav|AIFF(*.aif)|*.aif"
            << QStringList{"Audio(*.wav *.aif)", "Windows Wave(*.wav)", "AIFF(*.aif)"};
        QTest::newRow("name without patterns")
            << "Text files|*.txt; *.log" << QStringList{"Text files (*.txt *.log)"};
        QTest::newRow("bracket of words kept")
            << "Sound (wav)|*.wav" << QStringList{"Sound (wav) (*.wav)"};
        QTest::newRow("all files") << "All files (*.*)|*.*" << QStringList{"All files (*)"};
        QTest::newRow("unpaired name and empty patterns left out")
            << "Empty|;|Wave|*.wav|Orphan" << QStringList{"Wave (*.wav)"};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void nameFilters() {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(TCOpenDialog::NameFilters(filter), expected);
    }

    // --- the dialog -----------------------------------------------------

    void defaults() {
        TCOpenDialog dialog;
        QCOMPARE(dialog.SubFormPos(), fpClient);
        QCOMPARE(dialog.SubFormAnchors(), faLeft | faTop | faRight | faBottom);
        QVERIFY(dialog.MinEdgeSpace() == TDialogEdgeSpace());
        QVERIFY(!dialog.DialogSizing());
        QCOMPARE(dialog.Caption(), QString());
        QCOMPARE(dialog.Options(), TCOpenDialog::TOpenOptions(TCOpenDialog::ofHideReadOnly) |
                                       TCOpenDialog::ofEnableSizing);
        QCOMPARE(dialog.DlgsUnit()->RememberedPosition(), QPoint(-1, -1));
        QCOMPARE(dialog.DlgsUnit()->RememberedSize(), QSize(-1, -1));
        QVERIFY(dialog.Dialog() == nullptr);
    }

    void hostsSubFormAtBottom_data() {
        QTest::addColumn<QSize>("formSize");
        QTest::newRow("the program's form") << QSize(416, 83);
        QTest::newRow("wider than the dialog") << QSize(plain_.width() + 150, 50);
    }
    void hostsSubFormAtBottom() {
        QFETCH(QSize, formSize);
        const auto form = MakeSubForm(formSize);
        TCOpenDialog dialog;
        dialog.SetSubFormPos(fpBottom);
        dialog.SetDialogSizing(true);
        dialog.SetSubForm(form.get());
        const QSize opened(std::max(plain_.width(), formSize.width()),
                           plain_.height() + formSize.height());
        RunShowing(dialog, [&](QFileDialog* open) {
            QCOMPARE(form->parentWidget(), open);
            QVERIFY(form->isVisible());
            QCOMPARE(open->size(), opened);
            QCOMPARE(open->minimumSize(), opened);
            const int h = formSize.height();
            QCOMPARE(form->geometry(), QRect(0, opened.height() - h, opened.width(), h));
            QVERIFY(ButtonsBottom(open) <= form->y());
            QVERIFY(dialog.DlgsUnit()->GetNowEdgeSpace() == TDialogEdgeSpace(0, 0, 0, h));

            const QSize larger = opened + QSize(200, 120);
            open->resize(larger);
            QCOMPARE(form->geometry(), QRect(0, larger.height() - h, larger.width(), h));
            QVERIFY(ButtonsBottom(open) <= form->y());
            open->resize(100, 100);
            QCOMPARE(open->size(), opened);
            QCOMPARE(form->geometry(), QRect(0, opened.height() - h, opened.width(), h));
        });
        QVERIFY(dialog.DlgsUnit()->GetNowEdgeSpace() == TDialogEdgeSpace());
    }

    void hostsSubFormOnOtherSides_data() {
        QTest::addColumn<TSubFormPos>("pos");
        QTest::addColumn<TDialogEdgeSpace>("edges");
        QTest::addColumn<QSize>("opened");
        QTest::addColumn<QRect>("form");
        QTest::addColumn<QRect>("buttonsInside");  // the controls' room
        const int w = plain_.width();
        const int h = plain_.height();
        const TDialogEdgeSpace none;
        // A sub-form of 120 x 83.
        QTest::newRow("left") << fpLeft << none << QSize(w + 120, h) << QRect(0, 0, 120, h)
                              << QRect(120, 0, w, h);
        QTest::newRow("right") << fpRight << none << QSize(w + 120, h) << QRect(w, 0, 120, h)
                               << QRect(0, 0, w, h);
        QTest::newRow("top") << fpTop << none << QSize(w, h + 83) << QRect(0, 0, w, 83)
                             << QRect(0, 83, w, h);
        QTest::newRow("client") << fpClient << TDialogEdgeSpace(10, 20, 30, 40)
                                << QSize(w + 40, h + 60) << QRect(0, 0, w + 40, h + 60)
                                << QRect(10, 20, w, h);
    }
    void hostsSubFormOnOtherSides() {
        QFETCH(TSubFormPos, pos);
        QFETCH(TDialogEdgeSpace, edges);
        QFETCH(QSize, opened);
        QFETCH(QRect, form);
        QFETCH(QRect, buttonsInside);
        const auto subForm = MakeSubForm(QSize(120, 83));
        TCOpenDialog dialog;
        dialog.SetSubFormPos(pos);
        dialog.MinEdgeSpace().Assign(edges);
        dialog.SetSubForm(subForm.get());
        RunShowing(dialog, [&](QFileDialog* open) {
            QCOMPARE(open->size(), opened);
            QCOMPARE(open->minimumSize(), opened);
            QCOMPARE(subForm->geometry(), form);
            auto* buttons = open->findChild<QDialogButtonBox*>();
            QVERIFY(buttons);
            const QRect placed(buttons->mapTo(open, QPoint(0, 0)), buttons->size());
            QVERIFY2(buttonsInside.contains(placed), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                    .arg(placed.x())
                                                                    .arg(placed.y())
                                                                    .arg(placed.width())
                                                                    .arg(placed.height())));
        });
    }

    void selectionChangeReportsCurrentPath() {
        TCOpenDialog dialog;
        dialog.SetInitialDir(dir_.path());
        QStringList reported;
        connect(&dialog, &TCOpenDialog::OnSelectionChange, this,
                [&] { reported << dialog.FileName(); });
        RunShowing(dialog, [&](QFileDialog* open) {
            QVERIFY(!dialog.Execute());  // one showing at a time
            QVERIFY(MakeCurrent(open, Path("b.aif")));
            QCOMPARE(reported.value(reported.size() - 1), Path("b.aif"));
            QVERIFY(MakeCurrent(open, Path("a.wav")));
            QCOMPARE(reported.value(reported.size() - 1), Path("a.wav"));
            QCOMPARE(dialog.FileName(), Path("a.wav"));
        });
        QCOMPARE(dialog.FileName(), QString());  // nothing chosen
    }

    void executeReturnsTheChoice_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void executeReturnsTheChoice() {
        QFETCH(bool, accept);
        TCOpenDialog dialog;
        dialog.SetFilter(QStringLiteral("Audio(*.wav;*.aif)|*.wav;*.aif|AIFF(*.aif)|*.aif"));
        dialog.SetOptions(TCOpenDialog::ofFileMustExist | TCOpenDialog::ofEnableSizing);
        dialog.SetInitialDir(dir_.path());
        dialog.SetFileName(Path("a.wav"));
        const bool chosen = RunShowing(
            dialog,
            [&](QFileDialog* open) {
                QCOMPARE(open->nameFilters(), (QStringList{"Audio(*.wav *.aif)", "AIFF(*.aif)"}));
                QVERIFY(MakeCurrent(open, Path("b.aif")));
            },
            accept);
        QCOMPARE(chosen, accept);
        QCOMPARE(dialog.FileName(), accept ? Path("b.aif") : Path("a.wav"));
    }

    void placementFirstCentredThenRemembered() {
        const auto form = MakeSubForm(QSize(416, 83));
        TCOpenDialog dialog;
        dialog.SetSubFormPos(fpBottom);
        dialog.SetDialogSizing(true);
        dialog.SetSubForm(form.get());
        const QPoint moved(40, 30);
        const QSize resized = plain_ + QSize(100, 83 + 60);
        RunShowing(dialog, [&](QFileDialog* open) {
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            const QSize window = open->frameGeometry().size();
            QCOMPARE(open->pos(), QPoint(screen.left() + (screen.width() - window.width()) / 2,
                                         screen.top() + (screen.height() - window.height()) / 3));
            open->move(moved);
            open->resize(resized);
        });
        QCOMPARE(dialog.DlgsUnit()->RememberedPosition(), moved);
        QCOMPARE(dialog.DlgsUnit()->RememberedSize(), resized);
        RunShowing(dialog, [&](QFileDialog* open) {
            QCOMPARE(open->pos(), moved);
            QCOMPARE(open->size(), resized);
            QCOMPARE(form->geometry(), QRect(0, resized.height() - 83, resized.width(), 83));
        });
    }

    void subFormIsGivenBack_data() {
        QTest::addColumn<bool>("inPanel");
        QTest::addColumn<bool>("panelShown");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("a form of its own, never shown") << false << false << false;
        QTest::newRow("shown in a shown panel") << true << true << false;
        QTest::newRow("hidden on purpose in a shown panel") << true << true << true;
        QTest::newRow("in a panel not shown yet") << true << false << false;
    }
    void subFormIsGivenBack() {
        QFETCH(bool, inPanel);
        QFETCH(bool, panelShown);
        QFETCH(bool, hidden);
        QWidget panel;
        panel.resize(600, 300);
        auto* form = new QWidget(inPanel ? &panel : nullptr);
        const std::unique_ptr<QWidget> ownForm(inPanel ? nullptr : form);
        form->setGeometry(12, 34, 416, 83);
        form->setFixedSize(416, 83);
        if (hidden) form->hide();
        if (panelShown) panel.show();
        const bool visible = form->isVisible();
        const Qt::WindowFlags flags = form->windowFlags();

        TCOpenDialog dialog;
        dialog.SetSubFormPos(fpBottom);
        dialog.SetSubForm(form);
        RunShowing(dialog, [&](QFileDialog* open) {
            QCOMPARE(form->parentWidget(), open);
            QVERIFY(form->isVisible());
        });
        QCOMPARE(form->parentWidget(), inPanel ? &panel : nullptr);
        QCOMPARE(form->windowFlags(), flags);
        QCOMPARE(form->geometry(), QRect(12, 34, 416, 83));
        QCOMPARE(form->minimumSize(), QSize(416, 83));
        QCOMPARE(form->maximumSize(), QSize(416, 83));
        QCOMPARE(form->isVisible(), visible);
        if (!panelShown && inPanel) {
            panel.show();
            QVERIFY(form->isVisible());  // shows with its panel, as before
        }
    }

    void destroyedSubFormIsForgotten() {
        TCOpenDialog dialog;
        dialog.SetSubFormPos(fpBottom);
        auto* form = new QWidget;
        dialog.SetSubForm(form);
        delete form;
        QVERIFY(dialog.SubForm() == nullptr);
        RunShowing(dialog, [&](QFileDialog* open) { QCOMPARE(open->size(), plain_); });

        form = new QWidget;
        form->setFixedSize(416, 83);
        dialog.SetSubForm(form);
        RunShowing(dialog, [&](QFileDialog* open) {
            QCOMPARE(open->minimumSize(), plain_ + QSize(0, 83));
            delete form;
            QVERIFY(dialog.SubForm() == nullptr);
            QTRY_COMPARE(open->minimumSize(), plain_);
        });
        QVERIFY(dialog.Dialog() == nullptr);
    }

    void ownerClosedWhileOpen() {
        auto* owner = new QWidget;
        auto* dialog = new TCOpenDialog(owner);
        const QPointer<TCOpenDialog> component(dialog);
        const QPointer<QWidget> form(new QWidget);
        form->setFixedSize(416, 83);
        dialog->SetSubFormPos(fpBottom);
        dialog->SetSubForm(form);
        connect(dialog, &TCOpenDialog::OnShow, owner, [owner] { owner->deleteLater(); });
        QVERIFY(!dialog->Execute());
        QVERIFY(!component);
        QVERIFY(form);  // given back, not destroyed with the dialog
        QVERIFY(form->parentWidget() == nullptr);
        delete form.data();
    }

    void caption_data() {
        QTest::addColumn<QString>("caption");
        QTest::newRow("empty keeps the toolkit's") << QString();
        QTest::newRow("own") << QStringLiteral("Import into V-Takes");
    }
    void caption() {
        QFETCH(QString, caption);
        QFileDialog plain;
        plain.setOption(QFileDialog::DontUseNativeDialog);
        plain.setFileMode(QFileDialog::ExistingFile);
        const QString title = caption.isEmpty() ? plain.windowTitle() : caption;
        QVERIFY(!title.isEmpty());
        TCOpenDialog dialog;
        dialog.SetOptions(TCOpenDialog::ofFileMustExist | TCOpenDialog::ofEnableSizing);
        dialog.SetCaption(caption);
        RunShowing(dialog, [&](QFileDialog* open) {
            QCOMPARE(open->windowTitle(), title);
            QCOMPARE(dialog.Caption(), title);
        });
        QCOMPARE(dialog.Caption(), caption);
    }

    void changesWhileOpen_data() {
        QTest::addColumn<bool>("resizable");
        QTest::newRow("resizable: kept for the next showing") << true;
        QTest::newRow("fixed: laid out at once") << false;
    }
    void changesWhileOpen() {
        QFETCH(bool, resizable);
        const auto form = MakeSubForm(QSize(416, 83));
        TCOpenDialog dialog;
        dialog.SetOptions(resizable ? TCOpenDialog::TOpenOptions(TCOpenDialog::ofEnableSizing)
                                    : TCOpenDialog::TOpenOptions());
        dialog.SetDialogSizing(true);
        dialog.SetSubFormPos(fpBottom);
        dialog.SetSubForm(form.get());
        RunShowing(dialog, [&](QFileDialog* open) {
            const QRect atBottom = form->geometry();
            QCOMPARE(atBottom.bottom(), open->height() - 1);
            dialog.SetSubFormPos(fpTop);
            QCOMPARE(dialog.SubFormPos(), fpTop);
            if (resizable) {
                QCOMPARE(form->geometry(), atBottom);
            } else {
                QCOMPARE(form->geometry(), QRect(0, 0, open->width(), 83));
            }
        });
        RunShowing(dialog, [&](QFileDialog* open) {
            QCOMPARE(form->geometry(), QRect(0, 0, open->width(), 83));
        });
    }

    void eventsDuringAShowing() {
        TCOpenDialog dialog;
        dialog.SetInitialDir(dir_.path());
        dialog.SetFilter(QStringLiteral("Wave|*.wav|AIFF|*.aif"));
        QStringList events;
        connect(&dialog, &TCOpenDialog::OnShow, this, [&] { events << "show"; });
        connect(&dialog, &TCOpenDialog::OnFolderChange, this, [&] { events << "folder"; });
        connect(&dialog, &TCOpenDialog::OnTypeChange, this, [&] { events << "type"; });
        connect(&dialog, &TCOpenDialog::OnClose, this, [&] {
            events << "close";
            QVERIFY(dialog.Dialog() == nullptr);
        });
        connect(&dialog, &TCOpenDialog::OnShow, this, [&] {
            QTimer::singleShot(0, dialog.Dialog(), [&] {
                QFileDialog* open = dialog.Dialog();
                auto* types = open->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                if (types) QTest::keyClick(types, Qt::Key_Down);
                open->reject();
            });
        });
        QVERIFY(!dialog.Execute());
        QCOMPARE(events, (QStringList{"show", "folder", "type", "close"}));
    }

    // The detail view's size, type and date columns show their whole text
    // once a folder is read, not "344...KiB".
    void fileColumnsFitWhatTheyShow() {
        QTemporaryDir dir;
        QFile file(dir.filePath("a-rather-long-name-of-a-recording.wav"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(344 * 1024 + 77, 'x')) > 0);
        file.close();
        QFileDialog dialog(nullptr, QStringLiteral("columns"), dir.path());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setViewMode(QFileDialog::Detail);
        CustDlgs::FitFileColumns(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
        QVERIFY(view != nullptr);
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1);
        for (int column = 1; column < view->header()->count(); ++column) {
            QTRY_VERIFY2(view->columnWidth(column) >=
                             static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column),
                         qPrintable(QString::number(column)));
        }
    }
};

QTEST_MAIN(COpenDlgTest)
#include "copendlg_test.moc"
