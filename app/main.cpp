// korvanext: configuration of the GSM gateway.
#include "Demo.h"
#include "Everydialog.h"
#include "Globals.h"
#include "Mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

// The start options, known to --help before any window exists.
struct TStartOptions {
    QCommandLineOption demo{"demo", "Run against a simulated gateway (no hardware needed)."};
    QCommandLineOption modem{"modem", "With --demo: reach the simulated gateway through a simulated modem call."};
    QCommandLineOption demoFast{
        "demo-fast",
        "With --demo: the simulated gateway answers at full speed instead of at the real line's 19200 baud."};
    QCommandLineOption quit{"quit-after", "Close the window after MS milliseconds (for start-up timing).", "MS"};
    QCommandLineOption shot{"screenshot", "Save a picture of the window to FILE after start-up, then close.", "FILE"};
    QCommandLineOption page{"page", "Show page N (0..6) at start-up.", "N"};
    QCommandLineOption language{"language", "Start in the language ID (Cze, Eng, Slo, Ger, Pol, Fin, Tur).", "ID"};

    void AddTo(QCommandLineParser& parser) const
    {
        parser.setApplicationDescription("Configuration of the GSM gateway.");
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({demo, modem, demoFast, quit, shot, page, language});
        parser.addPositionalArgument("FILE.kvx", "Load this configuration file, as Load does.", "[FILE.kvx]");
    }
};

int main(int argc, char** argv)
{
    const TStartOptions options;
    // --help and --version answer without a display: no window system is needed for them.
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "-h" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version") {
            QCoreApplication app(argc, argv);
            QCoreApplication::setApplicationName("korvanext");
            QCoreApplication::setApplicationVersion(KVX_VERSION);
            QCommandLineParser parser;
            options.AddTo(parser);
            parser.process(app);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("korvanext");
    QApplication::setApplicationVersion(KVX_VERSION);
    // Ties the windows to the desktop entry (its name and icon in task lists).
    QGuiApplication::setDesktopFileName("korvanext");
    QCommandLineParser parser;
    options.AddTo(parser);
    parser.process(app);
    const QCommandLineOption &demo = options.demo, &modem = options.modem, &quit = options.quit, &shot = options.shot,
                             &page = options.page, &language = options.language;

    try {
        TGlobalObjects globals;
        std::unique_ptr<CDemoGateway> demoGateway;
        if (parser.isSet(demo)) {
            demoGateway = std::make_unique<CDemoGateway>();
            QString error;
            if (!demoGateway->Start(parser.isSet(modem), &error, parser.isSet(options.demoFast))) {
                std::fprintf(stderr, "korvanext: demo gateway: %s\n", qPrintable(error));
                QMessageBox::critical(nullptr, "KorvanextWin", "Demo gateway: " + error);
                return 2;
            }
        }
        TFMain window;
        if (demoGateway) demoGateway->Apply(window);
        window.show();
        if (parser.isSet(language)) window.LanguageButtonClick(parser.value(language));
        // A file opened from the file manager; a bad one is reported over the
        // window, from the event loop, once the window is up.
        const QStringList files = parser.positionalArguments();
        const int first = parser.isSet(page) ? parser.value(page).toInt() : 0;
        window.ShowAtStart(first, {});
        if (!files.isEmpty())
            QTimer::singleShot(0, &window, [&window, first, file = files.first()] { window.ShowAtStart(first, file); });
        // The accessibility check sees every dialog of one start (not for users).
        if (qEnvironmentVariableIsSet("KORVANEXT_SHOW_EVERY_DIALOG")) ShowEveryDialog(window);
        if (parser.isSet(quit)) QTimer::singleShot(parser.value(quit).toInt(), &window, &QWidget::close);
        if (parser.isSet(shot)) {
            QTimer::singleShot(800, &window, [&] {
                window.grab().save(parser.value(shot));
                window.close();
            });
        }
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "KorvanextWin", e.what());
        return 3;
    }
}
