// korvanext: configuration of the GSM gateway.
#include "Comdialing.h"
#include "Comterminal.h"
#include "Gatewaysim.h"
#include "Globals.h"
#include "Main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("korvanext");
    QApplication::setApplicationVersion("1.26");
    // Ties the windows to the desktop entry (its name and icon in task lists).
    QGuiApplication::setDesktopFileName("korvanext");
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
        std::unique_ptr<CGatewaySim> sim;
        if (parser.isSet(demo)) {
            // The demo gateway keeps its configuration between runs.
            TSimOptions o;
            const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
            QDir().mkpath(data);
            o.imagePath = QDir(data).filePath("demo-gateway.bin").toStdString();
            o.modem = parser.isSet(modem);
            o.call = true;  // the monitor has a call to show
            sim = std::make_unique<CGatewaySim>(o);
            std::string error;
            if (!sim->Start(&error)) {
                QMessageBox::critical(nullptr, "KorvanextWin", QString::fromStdString("Demo gateway: " + error));
                return 2;
            }
        }
        if (sim && parser.isSet(modem)) {
            Terminal().SetTelephony(std::make_unique<CHayesTelephony>(
                std::vector<std::pair<QString, QString>>{{"Demo modem", QString::fromStdString(sim->SlavePath())}}, false));
        }
        TFMain window;
        if (sim && parser.isSet(modem)) window.SetSessionModem("Demo modem", "0123 456 789");
        else if (sim) window.SetSessionPort(QString::fromStdString(sim->SlavePath()), "demo gateway");
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
        const int rc = app.exec();
        if (sim) sim->Stop();
        return rc;
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "KorvanextWin", e.what());
        return 3;
    }
}
