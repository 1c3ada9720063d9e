// Pictures of every dialog and question of the window, in one language, taken
// from the screen of a real X server with a window manager, so that what is in
// front is what a user would see. Each question is also checked to be uncovered.
// usage: korvanext_dialogshots LANGUAGE_ID OUTDIR
#include "Dialing.h"
#include "Dialingdialog.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewaysim.h"
#include "Globals.h"
#include "Imagelayout.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Monitor.h"
#include "Captions.h"
#include "Sheetprint.h"
#include "Settingsdialog.h"
#include "Aboutbox.h"
#include "Restoredialog.h"
#include "Comparedialog.h"
#include "Parameters.h"
#include "Progress.h"
#include "firmwarefile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QCheckBox>
#include <QMenuBar>
#include <QPainter>
#include <QTextDocument>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {
void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Press(QWidget* modal, QMessageBox::StandardButton which)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box && box->button(which)) box->button(which)->click();
    else if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
    else modal->close();
}

void Reject(QWidget* modal)
{
    if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
    else modal->close();
}

class TShooter {
public:
    TShooter(QString folder, QString language) : m_Folder(std::move(folder)), m_Language(std::move(language)) {}

    // Saves the screen as LANGUAGE-NAME.png; a question (uncovered = true) must be
    // seen whole on the screen, as its own picture shows it.
    void Save(const QString& name, QWidget* front = nullptr, bool uncovered = false)
    {
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        const QString path = QDir(m_Folder).filePath(m_Language + "-" + name + ".png");
        if (!screen.save(path)) Fail(name, "cannot write " + path);
        if (!front || !uncovered) return;
        const QImage own = front->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage seen = screen.copy(QRect(front->mapToGlobal(QPoint(0, 0)), front->size()))
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
        long same = 0;
        const long all = long(own.width()) * own.height();
        for (int y = 0; y < std::min(own.height(), seen.height()); ++y)
            for (int x = 0; x < std::min(own.width(), seen.width()); ++x) same += own.pixel(x, y) == seen.pixel(x, y);
        if (all == 0 || same * 10 < all * 9)
            Fail(name, QString("covered on the screen (%1 of %2 pixels as the box draws them)").arg(same).arg(all));
    }

    // Arms a watch for the next modal window other than except: once it is up and
    // settled, its picture is taken and then close(window) ends it.
    void WhenModal(const QString& name, std::function<void(QWidget*)> close, QWidget* except = nullptr,
                   bool uncovered = false, int settle = 400)
    {
        auto timer = new QTimer;
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        QPointer<QWidget> skip = except;
        QObject::connect(timer, &QTimer::timeout, [=] {
            QWidget* modal = QApplication::activeModalWidget();
            const bool ours = modal && modal != skip && !qobject_cast<TFProgress*>(modal);
            if (!ours) {
                if (started->elapsed() < 15000) return;
                Fail(name, "did not show up");
                // Whatever is up instead is closed, so the run goes on.
                if (modal && !qobject_cast<TFProgress*>(modal)) Reject(modal);
                timer->deleteLater();
                timer->stop();
                return;
            }
            timer->stop();
            timer->deleteLater();
            QPointer<QWidget> window = modal;
            QTimer::singleShot(settle, [=] {
                if (!window) return Fail(name, "closed by itself");
                Save(name, window, uncovered);
                close(window);
            });
        });
        timer->start(20);
    }

    void Fail(const QString& name, const QString& why)
    {
        std::fprintf(stderr, "%s %s: %s\n", qPrintable(m_Language), qPrintable(name), qPrintable(why));
        ++m_Failures;
    }
    int Failures() const { return m_Failures; }

private:
    QString m_Folder;
    QString m_Language;
    int m_Failures = 0;
};

bool WriteFirmware(const QString& path, const char* version) { return WriteFirmwareFile(path, FirmwareBytes(version)); }
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LANGUAGE_ID OUTDIR\n", argv[0]);
        return 1;
    }
    QGuiApplication::setDesktopFileName("korvanext");
    const QString language = argv[1];
    const QString folder = argv[2];
    QDir().mkpath(folder);
    QTemporaryDir work;

    TGlobalObjects globals;
    CGatewaySim gateway, oldGateway([] {
        TSimOptions o;
        o.version = "2.9";
        return o;
    }());
    std::string error;
    if (!gateway.Start(&error) || !oldGateway.Start(&error)) {
        std::fprintf(stderr, "gateway simulator: %s\n", error.c_str());
        return 1;
    }
    const QString port = QString::fromStdString(gateway.SlavePath());
    TShooter shot(folder, language);
    {
        TFMain main;
        main.SetSessionPort(port, "demo gateway");
        main.LanguageButtonClick(language);
        main.show();
        Pump(800);
        shot.Save("main");
        CLanguage& l = Language();
        for (QMenu* menu : {main.ApplicationMenu, main.GatewayMenu}) {
            QMenuBar* bar = main.menuBar();
            menu->popup(bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).bottomLeft()));
            Pump(300);
            shot.Save("menu-" + menu->objectName());
            menu->close();
        }

        shot.WhenModal("settings", [&](QWidget* w) {
            // The edit menu of the port field, in the same language.
            auto* d = static_cast<TFSettingsDialog*>(w);
            QLineEdit* edit = d->SerialPort->lineEdit();
            std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
            menu->popup(edit->mapToGlobal(QPoint(10, edit->height())));
            Pump(300);
            shot.Save("edit-menu");
            menu->close();
            // A modem behind a terminal server, typed into the modem list.
            d->ModemMode->setChecked(true);
            d->FormActivate();
            d->TD->setEditText("rfc2217://rack7.example.net:3005");
            Pump(100);
            shot.Save("settings-modem");
            d->reject();
        });
        main.SettingsClick();
        shot.WhenModal("about", Reject);
        main.AboutClick();
        shot.WhenModal("firmware-choice", Reject);
        main.ChooseFirmware({work.filePath("Korvanext315.Bin"), work.filePath("Korvanext316.Bin")});

        main.FDialingDialog->Prepare();
        main.FDialingDialog->Add(l.Text(265) + " 'Demo modem'");
        main.FDialingDialog->Add(l.Text(269) + " 0123 456 789");
        main.FDialingDialog->Add(l.Text(270));
        Pump(400);
        shot.Save("dialling", main.FDialingDialog);
        main.FDialingDialog->Hide();

        // The monitor polls the simulated gateway long enough to show its values.
        shot.WhenModal(
            "monitor", [](QWidget* w) { static_cast<TFMonitor*>(w)->OkButtonClick(); }, nullptr, false, 6000);
        main.SelectPage(7);

        // Antenna mode: the chart of a signal that rises and falls as the antenna moves.
        {
            TFMonitor* monitor = main.FMonitor;
            monitor->AntennaBox->setChecked(true);
            monitor->m_AntennaInterval = 100;
            static const int wave[] = {9, 11, 14, 18, 21, 23, 22, 19, 15, 12, 10, 13, 17, 20, 16};
            size_t step = 0;
            QTimer mover;
            QObject::connect(&mover, &QTimer::timeout, [&] { gateway.SetSignal(wave[step++ % std::size(wave)]); });
            mover.start(120);
            shot.WhenModal(
                "monitor-antenna", [](QWidget* w) { static_cast<TFMonitor*>(w)->OkButtonClick(); }, nullptr, false,
                6000);
            main.SelectPage(7);
            mover.stop();
            monitor->AntennaBox->setChecked(false);
            gateway.SetSignal(17);
        }

        // The first page of the configuration sheet as it prints.
        {
            Parameters().SetValue("GSMNum", 0, "+420603");
            Parameters().SetValue("GSMNum", 1, "+420777");
            const QString html = SheetHtml(Parameters(), BuiltInCaptions(),
                                           {"KX2-004711", "3.15", "site.kvx", QDateTime::currentDateTime()});
            const auto document = SheetDocument(html);
            const QSizeF page(794, 1123);  // A4 at 96 dots an inch
            document->setPageSize(page);
            QImage image(page.toSize(), QImage::Format_RGB32);
            image.fill(Qt::white);
            {
                QPainter painter(&image);
                document->drawContents(&painter, QRectF(QPointF(0, 0), page));
            }
            const QString path = QDir(folder).filePath(language + "-sheet.png");
            if (!image.save(path)) shot.Fail("sheet", "cannot write " + path);
            Parameters().SetAllDefaults();
        }

        main.ShowProgress(true, 107, true);
        main.SetProgressPos(40);
        Pump(400);
        shot.Save("progress");
        main.ShowProgress(false, 0, false);
        // The upgrade's window says that it cannot be stopped and how long is left.
        main.ShowProgress(true, 104, true);
        main.SetProgressMax(60);
        main.SetProgressPos(24);
        main.SetProgressLabel(l.Text(122) + " 12 / 30");
        main.SetCancelVisible(false);
        main.SetProgressNotice(l.Text(425) + "\n" + Substitute(l.Text(426), {"19"}));
        Pump(400);
        shot.Save("progress-upgrade");
        main.ShowProgress(false, 0, false);

        // Questions and errors in the middle of real operations.
        main.SetSessionPort(QString::fromStdString(oldGateway.SlavePath()), "old gateway");
        shot.WhenModal(
            "question-174", [](QWidget* w) { Press(w, QMessageBox::No); }, nullptr, true);
        main.ReadFromGateway();

        main.SetSessionPort(port, "demo gateway");
        Parameters().SetValue("ModemNum1", 0, "0987654321");
        main.m_Ops.PinChanged = main.m_Ops.PasswordChanged = true;
        shot.WhenModal(
            "question-263", [](QWidget* w) { Press(w, QMessageBox::No); }, nullptr, true);
        main.WriteToGateway();

        // A file cut short, with a cadence the gateway cannot keep: a note on loading,
        // and the write names what would not be as shown.
        const QString cut = work.filePath("cut.kvx");
        if (QFile f(cut); f.open(QIODevice::WriteOnly)) {
            const std::string text = Parameters().SaveToText();
            f.write(QByteArray::fromStdString(text.substr(0, text.find("GSMNum=") + 20))
                        .replace("FXSRBToneCad=\"0\"", "FXSRBToneCad=\"2\""));
        }
        shot.WhenModal(
            "note-loaded", [](QWidget* w) { Press(w, QMessageBox::Ok); }, nullptr, true);
        main.LoadFile(cut);
        Parameters().SetValue("SMSText", 0, std::string(60, 'x'));
        shot.WhenModal(
            "question-not-as-shown", [](QWidget* w) { Press(w, QMessageBox::No); }, nullptr, true);
        main.WriteToGateway();
        Parameters().SetValue("SMSText", 0, "");
        main.m_Ops.SourceGaps = {};

        const struct {
            const char* name;
            const char* version;
        } firmware[] = {{"question-119", "3.15"}, {"question-120", "3.00"}};
        for (const auto& f : firmware) {
            const QString file = work.filePath(QString(f.name) + ".Bin");
            if (!WriteFirmware(file, f.version)) shot.Fail(f.name, "cannot write " + file);
            main.m_Ops.FirmwareFile = file;
            // "Upgrade?" first; the version question follows once the gateway has told its version.
            shot.WhenModal(
                "question-116",
                [&shot, name = QString(f.name)](QWidget* w) {
                    shot.WhenModal(
                        name, [](QWidget* box) { Press(box, QMessageBox::No); }, w, true);
                    Press(w, QMessageBox::Yes);
                },
                nullptr, true);
            main.m_Ops.UpgradeFirmware();
        }
        // A damaged file is asked about before anything is sent.
        const QString damaged = work.filePath("question-damaged.Bin");
        if (!WriteFirmwareFile(damaged, Damaged(FirmwareBytes("3.20"))))
            shot.Fail("question-damaged", "cannot write " + damaged);
        main.m_Ops.FirmwareFile = damaged;
        shot.WhenModal(
            "question-116-again",
            [&shot](QWidget* w) {
                shot.WhenModal(
                    "question-damaged", [](QWidget* box) { Press(box, QMessageBox::No); }, w, true);
                Press(w, QMessageBox::Yes);
            },
            nullptr, true);
        main.m_Ops.UpgradeFirmware();

        main.SetSessionPort("/dev/ttyKVX-missing", "missing port");
        shot.WhenModal(
            "error-125", [](QWidget* w) { Press(w, QMessageBox::Ok); }, nullptr, true);
        main.m_Ops.ReadFromGateway();  // the window would first ask about the numbers changed above
        main.SetSessionPort(port, "demo gateway");

        // Unsaved edits (the numbers above): closing asks; Cancel keeps the window.
        shot.WhenModal(
            "question-save-changes", [](QWidget* w) { Press(w, QMessageBox::Cancel); }, nullptr, true);
        main.close();
        if (!main.isVisible()) shot.Fail("question-save-changes", "Cancel closed the window");
        main.MarkClean();

        // Edits in the window compared with what the gateway holds.
        Parameters().SetValue("FXSVolRec", 0, "1");
        Parameters().SetValue("FXSAlertCadency", 0, "2");
        Parameters().SetValue("GSMNum", 2, "+420600100200");
        QTimer::singleShot(300, [&] {
            main.FCompareDialog->CompareWith(TFCompareDialog::TSource::Gateway);
            Pump(400);
            shot.Save("compare-gateway", main.FCompareDialog, true);
            main.FCompareDialog->reject();
        });
        main.CompareClick();

        // A write keeps a copy of what the gateway held; one from another gateway asks first.
        main.m_Ops.CopiesFolder = work.filePath("copies");
        main.m_Ops.PinChanged = main.m_Ops.PasswordChanged = false;
        Parameters().SetValue("ModemNum1", 0, "");
        Parameters().SetValue("SerialNum", 0, "KX2-000001");
        shot.WhenModal(
            "question-other-serial",
            [&](QWidget* w) {
                shot.WhenModal(
                    "written", [](QWidget* box) { Press(box, QMessageBox::Ok); }, w, true);
                Press(w, QMessageBox::Yes);
            },
            nullptr, true);
        main.WriteToGateway();
        shot.WhenModal("restore", Reject);
        main.RestoreClick();
        main.MarkClean();

        shot.WhenModal("open-dialog", Reject);
        main.LoadClick();
        const QString existing = work.filePath("site.kvx");
        QFile(existing).open(QIODevice::WriteOnly);
        shot.WhenModal("save-dialog", [&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog) return Reject(w);
            // An existing name: the overwrite question, answered No, then the dialog is left.
            shot.WhenModal(
                "question-overwrite",
                [dialog](QWidget* box) {
                    Press(box, QMessageBox::No);
                    QTimer::singleShot(200, dialog, [dialog] { dialog->reject(); });
                },
                dialog, true);
            // Typed, as a user would (a selection in another folder is taken only once that folder is read).
            if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) edit->setText(existing);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        });
        main.SaveAsClick();
        main.close();
    }
    gateway.Stop();
    oldGateway.Stop();
    if (shot.Failures()) return 1;
    std::printf("%s: dialogs in %s\n", qPrintable(language), qPrintable(folder));
    return 0;
}
