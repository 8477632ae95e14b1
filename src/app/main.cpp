// Start-up: the command line, the application, its three forms, the event
// loop.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/app_messages.h"
#include "app/dialog_provider.h"
#include "app/get_win.h"
#include "app/main_win.h"
#include "app/nf_win.h"
#include "controls/dirtreeview.h"
#include "playback/qt_sound_output.h"

namespace {

// The desktop entry's id; the icon in the theme has the same name.
constexpr char kDesktopId[] = "io.github.trx5.CardManager";
constexpr int kExitUsage = 2;
constexpr char kSizeKey[] = "size";

// The icon drawn at build time, for when the icon theme has none.
QIcon BuiltInIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/art/icon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

// Reads the command line before any application object exists, so that
// --help, --version and usage errors need no display. Returns the folder
// given (empty when none); exits for --help, --version and bad usage.
QString ParseCommandLine(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("trx5-card-manager"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRX5_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(app_text::ProgramDescription());
    // Qt's own --help-all is left out: its Qt options are not taken here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  app_text::HelpOption());
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FOLDER"), app_text::FolderArgument(),
                                 QStringLiteral("[FOLDER]"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    const bool parsed = parser.parse(arguments);
    if (!parsed || parser.positionalArguments().size() > 1) {
        const QString error = parsed ? app_text::TooManyArguments() : parser.errorText();
        std::fprintf(stderr,
                     "trx5-card-manager: %s\nUsage: trx5-card-manager [--help] [--version] "
                     "[FOLDER]\n",
                     qPrintable(error));
        std::exit(kExitUsage);
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        // The parser prints the text and exits; it takes the program's name
        // from an application object, which needs no display.
        QCoreApplication app(argc, argv);
        if (parser.isSet(help)) parser.showHelp(0);
        parser.showVersion();
    }
    if (parser.positionalArguments().isEmpty()) return {};
    return QFileInfo(parser.positionalArguments().constFirst()).absoluteFilePath();
}

// Shows the window until it is closed; its forms, and with them their sound
// outputs, are gone when this returns.
int RunWindow(const QString& folder) {
    try {
        QtDialogProvider dialogs;
        TMainWin mainWin(dialogs);
        TGetWin getWin;
        TNfWin nfWin(&mainWin);
        mainWin.AttachForms(&getWin, &nfWin);
        // The window's size is the one thing kept from one run to the next,
        // in ~/.config/trx5-card-manager/window.conf.
        QSettings settings(QStringLiteral("trx5-card-manager"), QStringLiteral("window"));
        mainWin.resize(settings.value(kSizeKey, mainWin.size()).toSize());
        if (const QScreen* screen = mainWin.screen()) {
            QRect frame = mainWin.frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            mainWin.move(frame.topLeft());
        }
        mainWin.show();
        // The folder is opened as if picked in the tree; the window starts
        // as usual when the tree cannot show it.
        if (!folder.isEmpty() && !mainWin.DirTree->SetDirectory(folder)) {
            std::fprintf(stderr, "trx5-card-manager: %s: not a folder that can be opened\n",
                         qPrintable(folder));
        }
        const int code = QApplication::exec();
        settings.setValue(kSizeKey, mainWin.size());
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            std::fprintf(stderr, "trx5-card-manager: %s: the window's size could not be kept\n",
                         qPrintable(settings.fileName()));
        }
        return code;
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(e.what()));
    }
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QString folder = ParseCommandLine(argc, argv);
    int code = 1;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Card Manager for TRX-5"));
        QGuiApplication::setDesktopFileName(QLatin1String(kDesktopId));
        QApplication::setWindowIcon(QIcon::fromTheme(QLatin1String(kDesktopId), BuiltInIcon()));
        code = RunWindow(folder);
    }
    // The window and the application object are gone; after an audition or
    // a preview the process ends here.
    trx5::EndProcessAfterSound(code);
    return code;
}
