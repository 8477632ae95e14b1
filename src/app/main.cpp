// Start-up: the application, its three forms, the event loop.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <exception>

#include "app/dialog_provider.h"
#include "app/get_win.h"
#include "app/main_win.h"
#include "app/nf_win.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Card Manager for TRX-5"));
    try {
        QtDialogProvider dialogs;
        TMainWin mainWin(dialogs);
        TGetWin getWin;
        TNfWin nfWin(&mainWin);
        mainWin.AttachForms(&getWin, &nfWin);
        if (const QScreen* screen = mainWin.screen()) {
            QRect frame = mainWin.frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            mainWin.move(frame.topLeft());
        }
        mainWin.show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
