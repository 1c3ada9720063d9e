// korvanext: configuration of the GSM gateway.
#include "Demo.h"
#include "Globals.h"
#include "Main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("korvanext");
    QApplication::setApplicationVersion("1.26");
    QCommandLineParser parser;
    parser.setApplicationDescription("Configuration of the GSM gateway.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo("demo", "Run against a simulated gateway (no hardware needed).");
    const QCommandLineOption modem("modem", "With --demo: reach the simulated gateway through a simulated modem call.");
    const QCommandLineOption quit("quit-after", "Close the window after MS milliseconds (for start-up timing).", "MS");
    const QCommandLineOption shot("screenshot", "Save a picture of the window to FILE after start-up, then close.", "FILE");
    const QCommandLineOption page("page", "Show page N (0..6) at start-up.", "N");
    const QCommandLineOption language("language", "Start in the language ID (Cze, Eng, Slo, Ger, Pol, Fin, Tur).", "ID");
    parser.addOptions({demo, modem, quit, shot, page, language});
    parser.process(app);

    try {
        TGlobalObjects globals;
        std::unique_ptr<CDemoGateway> demoGateway;
        if (parser.isSet(demo)) {
            demoGateway = std::make_unique<CDemoGateway>();
            QString error;
            if (!demoGateway->Start(parser.isSet(modem), &error)) {
                std::fprintf(stderr, "korvanext: demo gateway: %s\n", qPrintable(error));
                QMessageBox::critical(nullptr, "KorvanextWin", "Demo gateway: " + error);
                return 2;
            }
        }
        TFMain window;
        if (demoGateway) demoGateway->Apply(window);
        window.show();
        if (parser.isSet(language)) window.LanguageButtonClick(parser.value(language));
        if (parser.isSet(page)) window.SelectPage(parser.value(page).toInt());
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
