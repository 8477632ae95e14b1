// The program's own help window: the help pages in a browser of their own,
// with Back and Forward, for a desktop that cannot open them itself.
#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QToolButton;

class THelpWin : public QWidget {
    Q_OBJECT

  public:
    explicit THelpWin(QWidget* parent = nullptr);

    // Shows the page and brings the window up.
    void ShowPage(const QUrl& page);

    QTextBrowser* Browser;
    QToolButton* BackBtn;
    QToolButton* ForwardBtn;
};
