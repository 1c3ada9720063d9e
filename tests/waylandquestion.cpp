// The window on a Wayland compositor: it runs there natively under the desktop
// entry's name, a question that would overwrite the gateway takes No from Enter,
// and the place the compositor keeps to itself is not saved.
// usage: korvanext_waylandquestion (QT_QPA_PLATFORM=wayland, WAYLAND_DISPLAY set)
#include "Appsettings.h"
#include "Globals.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Profile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {
int Fail(const char* what)
{
    std::fprintf(stderr, "wayland check: %s\n", what);
    return 1;
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("korvanext");
    QGuiApplication::setDesktopFileName("korvanext");
    if (QGuiApplication::platformName() != "wayland") return Fail("the program does not run on Wayland");
    int rc = 0;
    {
        TGlobalObjects globals;
        TFMain window;
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 10000)) return Fail("the window was not shown");
        QString seen;
        bool pressed = false;
        QElapsedTimer waited;
        waited.start();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                // Bounded: a box that never appears ends the check.
                if (waited.elapsed() > 20000) QCoreApplication::exit(1);
                return;
            }
            if (pressed || !box->isVisible()) return;
            pressed = true;
            seen = box->text();
            // What a user's Enter does, through the compositor's keyboard focus.
            QTest::keyClick(box, Qt::Key_Return);
        });
        poll.start(50);
        const QString question = Language().Text(263);
        const bool yes = window.Ask(question, TIcon::Question, TDefaultAnswer::No);
        poll.stop();
        if (seen != question) rc = Fail("the question did not show");
        else if (yes) rc = Fail("Enter answered Yes to a question that overwrites the gateway");
        window.close();
    }
    // Wayland reveals no window place: none is saved.
    const CIniFile written(SettingsFilePath());
    if (written.ReadInteger("Settings", "Left", 0) < 0 || written.ReadInteger("Settings", "Top", 0) < 0)
        rc = Fail("a place off the screen was saved");
    if (rc == 0) std::printf("wayland check: the window ran on Wayland and Enter answered No\n");
    return rc;
}
