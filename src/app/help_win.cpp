#include "app/help_win.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/app_messages.h"

THelpWin::THelpWin(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWin"));
    setWindowTitle(app_text::HelpTitle());
    resize(720, 560);

    BackBtn = new QToolButton(this);
    BackBtn->setObjectName(QStringLiteral("BackBtn"));
    BackBtn->setText(QStringLiteral("&Back"));
    BackBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    BackBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    BackBtn->setEnabled(false);
    ForwardBtn = new QToolButton(this);
    ForwardBtn->setObjectName(QStringLiteral("ForwardBtn"));
    ForwardBtn->setText(QStringLiteral("&Forward"));
    ForwardBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    ForwardBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ForwardBtn->setEnabled(false);

    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    // Links to other sites go to the desktop; the help's own pages and
    // anchors stay here.
    Browser->setOpenExternalLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BackBtn);
    buttons->addWidget(ForwardBtn);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(Browser);

    connect(BackBtn, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardBtn, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(Browser, &QTextBrowser::backwardAvailable, BackBtn, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardBtn, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = Browser->documentTitle();
        if (!title.isEmpty()) setWindowTitle(title);
    });
}

void THelpWin::ShowPage(const QUrl& page) {
    Browser->setSource(page);
    show();
    raise();
    activateWindow();
}
