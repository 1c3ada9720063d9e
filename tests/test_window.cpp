// The main window in a technician's hands: what stays in front, what Enter,
// the keyboard and the close box do, and what is never lost without a word.
#include "Commonutils.h"
#include "Terminal.h"
#include "Language.h"
#include "Settingsdialog.h"
#include "Monitor.h"
#include "Aboutbox.h"
#include "Parameters.h"
#include "Progress.h"
#include "apptest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>
#include <QStatusBar>
#include <QDir>
#include <QListWidget>
#include <QMenuBar>
#include <QMenu>
#include <QScrollArea>
#include <QLabel>
#include <QSet>
#include <QToolButton>
#include <QImage>
#include <functional>

namespace {
struct Window : AppFixture {
    void SetUp() override { StartApp(); }

    // Runs check() once the program's next modal box is up, then closes it with
    // close(box); a box that never shows or a check that stops early still ends.
    void WhenModal(std::function<void(QWidget*)> check, std::function<void(QWidget*)> close)
    {
        auto done = std::make_shared<bool>(false);
        auto poll = std::make_shared<std::function<void(int)>>();
        *poll = [=](int left) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != main->Progress()) {
                PumpEvents(100);
                check(modal);
                *done = true;
                close(modal);
            } else if (left > 0) {
                QTimer::singleShot(20, [=] { (*poll)(left - 1); });
            }
        };
        QTimer::singleShot(20, [=] { (*poll)(250); });
        // Whatever happened above, no box outlives the test.
        QTimer::singleShot(8000, [=] {
            if (*done) return;
            ADD_FAILURE() << "no box of the program showed up";
            if (QWidget* m = QApplication::activeModalWidget(); m && m != main->Progress()) m->close();
        });
    }
};

// Counts the times a window is put on top of the others.
struct TRaiseCount : QObject {
    int raised = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::ZOrderChange) ++raised;
        return false;
    }
};

void ClickButton(QWidget* modal, QMessageBox::StandardButton which)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->button(which)) box->button(which)->click();
    else modal->close();
}
}  // namespace

TEST_F(Window, AQuestionDuringAnOperationIsNeverCoveredByTheProgressWindow)
{
    main->SetPrompts(std::make_unique<TPrompts>());  // real message boxes
    prompts = nullptr;
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    main->ShowProgress(true, 104, true);
    QPointer<TFProgress> progress = main->Progress();
    ASSERT_TRUE(progress);
    PumpEvents(100);
    TRaiseCount count;
    progress->installEventFilter(&count);
    WhenModal(
        [&](QWidget* modal) {
            EXPECT_NE(qobject_cast<QMessageBox*>(modal), nullptr);
            // Something takes the activation away: the progress window must still stay behind the box.
            QEvent change(QEvent::ActivationChange);
            QCoreApplication::sendEvent(progress, &change);
            PumpEvents(100);
            EXPECT_EQ(QApplication::activeModalWidget(), modal);
            EXPECT_FALSE(progress->isVisible());
            EXPECT_NE(QApplication::activeWindow(), progress.data());
            EXPECT_EQ(count.raised, 0);
        },
        [](QWidget* modal) { ClickButton(modal, QMessageBox::No); });
    EXPECT_FALSE(main->Ask(Text(263), TIcon::Question));
    // The operation goes on: its window is back in front.
    ASSERT_TRUE(progress);
    EXPECT_TRUE(progress->isVisible());
    PumpEvents(100);
    count.raised = 0;

    // Another window taking the front does bring it back.
    main->activateWindow();
    QEvent change(QEvent::ActivationChange);
    QCoreApplication::sendEvent(progress, &change);
    PumpEvents(100);
    EXPECT_GT(count.raised, 0);
    main->ShowProgress(false, 0, false);
    EXPECT_FALSE(main->Progress());
}

TEST_F(Window, AnOpenErrorIsShownWholeInFrontOfTheOperation)
{
    main->SetPrompts(std::make_unique<TPrompts>());
    prompts = nullptr;
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    main->SetSessionPort("/dev/no-such-gateway", "missing");
    bool progressHidden = false;
    QString shown;
    WhenModal(
        [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            shown = box->text();
            progressHidden = !main->Progress() || !main->Progress()->isVisible();
        },
        [](QWidget* modal) { ClickButton(modal, QMessageBox::Ok); });
    EXPECT_FALSE(main->m_Ops.ReadFromGateway());
    EXPECT_TRUE(progressHidden);
    EXPECT_TRUE(shown.contains("/dev/no-such-gateway") || shown.startsWith(Text(125))) << shown.toStdString();
    EXPECT_FALSE(main->Progress());
}

TEST_F(Window, EnterOnAResetQuestionKeepsEveryValue)
{
    main->SetPrompts(std::make_unique<TPrompts>());
    prompts = nullptr;
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    for (const auto& [key, rc] : Parameters().Entries())
        for (int i = 0; i < rc.Count; ++i) Parameters().SetValue(key, i, "1");
    const auto changed = Parameters().Snapshot();
    main->SelectPage(5);
    // A reflex Enter on one group's reset and on the reset of everything.
    for (const char* name : {"ResetFxsButton", "ResetAllButton"}) {
        auto* button = main->CurrentPage()->findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        QString asked;
        WhenModal(
            [&](QWidget* modal) {
                if (auto* box = qobject_cast<QMessageBox*>(modal)) asked = box->text();
            },
            [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        button->click();
        EXPECT_FALSE(asked.isEmpty()) << name;
        EXPECT_EQ(Parameters().Snapshot(), changed) << name;
    }
    EXPECT_FALSE(main->m_Ops.PinChanged);
}

TEST_F(Window, StandardButtonsSpeakTheInterfaceLanguage)
{
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm"))
        GTEST_SKIP() << "the toolkit's translations are not installed";
    auto yes = [] {
        QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        return box.button(QMessageBox::Yes)->text().remove('&') + "|" + box.button(QMessageBox::Cancel)->text();
    };
    const QString english = yes();
    EXPECT_EQ(english, "Yes|Cancel");
    main->LanguageButtonClick("Ger");
    EXPECT_EQ(yes(), "Ja|Abbrechen");
    EXPECT_EQ(QLocale().language(), QLocale::German);
    main->LanguageButtonClick("Cze");
    EXPECT_EQ(yes().section('|', 0, 0), "Ano");
    // Back to English: nothing of the other languages stays behind.
    main->LanguageButtonClick("Eng");
    EXPECT_EQ(yes(), english);
}

TEST_F(Window, APortTypedInTheSettingsSurvivesEnter)
{
    TFSettingsDialog* d = main->FSettingsDialog;
    main->m_Ops.IsModem = false;
    const QString typed = "/dev/ttyUSB3";
    for (const bool withMouse : {false, true}) {
        main->m_Ops.ComPort = "Com2";
        QTimer::singleShot(100, [&] {
            QLineEdit* edit = d->SerialPort->lineEdit();
            ASSERT_NE(edit, nullptr);
            edit->selectAll();
            QTest::keyClicks(edit, typed);
            if (withMouse) QTest::mouseClick(d->OkButton, Qt::LeftButton);
            else QTest::keyClick(edit, Qt::Key_Return);
            if (d->isVisible()) d->reject();
        });
        main->SettingsClick();
        EXPECT_EQ(main->m_Ops.ComPort.toStdString(), typed.toStdString()) << (withMouse ? "OK clicked" : "Enter");
    }
    // Enter on a listed port takes that port.
    QTimer::singleShot(100, [&] {
        d->SerialPort->setCurrentIndex(2);
        QTest::keyClick(d->SerialPort, Qt::Key_Return);
        if (d->isVisible()) d->reject();
    });
    main->SettingsClick();
    EXPECT_EQ(main->m_Ops.ComPort.toStdString(), "Com3");
    // A terminal server's port is typed as its URL and is still chosen when the settings open again.
    const QString network = "rfc2217://[::1]:3001";
    for (const bool again : {false, true}) {
        QString shown;
        QTimer::singleShot(100, [&] {
            QLineEdit* edit = d->SerialPort->lineEdit();
            ASSERT_NE(edit, nullptr);
            shown = d->SerialPort->currentText();
            if (!again) {
                edit->selectAll();
                QTest::keyClicks(edit, network);
            }
            QTest::keyClick(edit, Qt::Key_Return);
            if (d->isVisible()) d->reject();
        });
        main->SettingsClick();
        EXPECT_EQ(main->m_Ops.ComPort.toStdString(), network.toStdString());
        if (again) {
            EXPECT_EQ(shown.toStdString(), network.toStdString());
        }
    }
}

TEST_F(Window, ClosingWithUnsavedEditsAsksSaveDiscardOrCancel)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/site.kvx";
    // Nothing changed: no question.
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(prompts->saveAsked.isEmpty());

    // An edit typed on a page counts, even before the page is left.
    main->SelectPage(6);
    auto* password = main->CurrentPage()->findChild<QLineEdit*>("ServicePasswordEdit");
    ASSERT_NE(password, nullptr);
    password->setText("4321");
    prompts->saveAnswers = {TSaveChoice::Cancel};
    EXPECT_FALSE(main->close());
    ASSERT_EQ(prompts->saveAsked.size(), 1);
    EXPECT_EQ(prompts->saveAsked.front(), Text(340));
    // Cancel keeps the window as it was: the page with the edit still in view.
    EXPECT_EQ(main->CurrentPage(), main->Page(6));
    EXPECT_FALSE(main->CurrentPage()->isHidden());
    EXPECT_EQ(password->text(), "4321");

    // Save, with no file yet: the save dialog; cancelled there, the window stays.
    prompts->saveAnswers = {TSaveChoice::Save};
    prompts->savePath.clear();
    EXPECT_FALSE(main->close());
    // Save into a file: saved, then closed.
    prompts->saveAnswers = {TSaveChoice::Save};
    prompts->savePath = file;
    EXPECT_TRUE(main->close());
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_FALSE(main->IsModified());

    // Discard closes without writing anything.
    main->SelectPage(0);
    Parameters().SetValue("FXSVolRec", 0, Parameters().GetValue("FXSVolRec", 0) == "2" ? "4" : "2");
    main->CurrentPage()->LoadFromParameters();  // as if typed on the page
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    prompts->saveAnswers = {TSaveChoice::Discard};
    EXPECT_TRUE(main->close());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(prompts->saveAsked.size(), 4);

    // An edit taken back is no edit.
    const std::string volume = Parameters().GetValue("FXSVolRec", 0);
    main->MarkClean();
    Parameters().SetValue("FXSVolRec", 0, volume == "2" ? "4" : "2");
    main->CurrentPage()->LoadFromParameters();
    EXPECT_TRUE(main->IsModified());
    Parameters().SetValue("FXSVolRec", 0, volume);
    main->CurrentPage()->LoadFromParameters();
    EXPECT_FALSE(main->IsModified());
}

TEST_F(Window, SaveNeverOverwritesAFileTheWindowNoLongerShows)
{
    QTemporaryDir dir;
    const QString first = dir.path() + "/first.kvx", second = dir.path() + "/second.kvx";
    auto contents = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    Parameters().SetValue("FXSVolRec", 0, "2");
    prompts->savePath = first;
    ASSERT_TRUE(main->SaveAsClick());
    EXPECT_TRUE(main->windowTitle().remove("[*]").endsWith("first.kvx"));
    EXPECT_EQ(main->statusBar()->currentMessage(), Substitute(Text(341), {QDir::toNativeSeparators(first)}));
    const QByteArray saved = contents(first);

    // Save to the named file: no dialog, confirmed in the status bar.
    main->statusBar()->clearMessage();
    Parameters().SetValue("FXSVolRec", 0, "4");
    prompts->savePath.clear();
    main->SaveAction->trigger();
    EXPECT_NE(contents(first), saved);
    EXPECT_EQ(main->statusBar()->currentMessage(), Substitute(Text(341), {QDir::toNativeSeparators(first)}));
    const QByteArray edited = contents(first);

    // After a read the window shows the gateway's configuration: the file is not named,
    // and Save asks where to (here: cancelled, so nothing is written).
    ASSERT_TRUE(prompts->saveAsked.isEmpty());
    main->ReadFromGateway();
    EXPECT_TRUE(prompts->saveAsked.isEmpty());  // nothing unsaved: no question before the read
    EXPECT_TRUE(main->FileName().isEmpty());
    EXPECT_FALSE(main->windowTitle().contains("first.kvx"));
    EXPECT_FALSE(main->IsModified());
    main->SaveAction->trigger();
    EXPECT_EQ(contents(first), edited);
    // The same after New.
    main->NewClick();
    EXPECT_TRUE(main->FileName().isEmpty());
    prompts->savePath = second;
    main->SaveAction->trigger();
    EXPECT_EQ(contents(first), edited);
    EXPECT_TRUE(QFile::exists(second));
    EXPECT_TRUE(main->windowTitle().remove("[*]").endsWith("second.kvx"));
}

TEST_F(Window, ReadAndWriteAskOnlyWhenEditsWouldBeLost)
{
    Parameters().SetValue("FXSVolRec", 0, Parameters().GetValue("FXSVolRec", 0) == "2" ? "4" : "2");
    const std::string edited = Parameters().GetValue("FXSVolRec", 0);
    // A read over unsaved edits asks; Cancel keeps them and reads nothing.
    prompts->saveAnswers = {TSaveChoice::Cancel};
    const int commands = sim->Commands();
    main->ReadFromGateway();
    EXPECT_EQ(prompts->saveAsked.size(), 1);
    EXPECT_EQ(sim->Commands(), commands);
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), edited);
    // A successful write stores them in the gateway: nothing left to ask about.
    main->m_Ops.PinChanged = main->m_Ops.PasswordChanged = true;
    main->WriteToGateway();
    EXPECT_FALSE(main->IsModified());
    EXPECT_TRUE(main->close());
    EXPECT_EQ(prompts->saveAsked.size(), 1);
}

TEST_F(Window, TheKeyboardWorksLikeTheMouse)
{
    QListWidget* list = main->PageList;
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(main->CurrentPageIndex(), list->currentRow());
    EXPECT_EQ(main->PageArea->widget(), main->Page(list->currentRow()));
    EXPECT_EQ(main->PageTitle->text(), list->currentItem()->text());
    const int page = main->CurrentPageIndex();
    // Passing over the monitor entry opens nothing; Enter on it does, and the list
    // goes back to the page that is shown.
    main->m_Ops.IsModem = true;  // the monitor then polls nothing
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(list->currentRow(), 7);
    EXPECT_EQ(main->CurrentPageIndex(), page);
    EXPECT_FALSE(main->FMonitor->isVisible());
    bool opened = false;
    QTimer::singleShot(200, [&] {
        opened = main->FMonitor->isVisible();
        main->FMonitor->OkButtonClick();
    });
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(opened);
    EXPECT_EQ(list->currentRow(), page);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(main->CurrentPageIndex(), page - 1);

    // The page caption follows a language switch.
    main->LanguageButtonClick("Ger");
    EXPECT_EQ(main->PageTitle->text(), Text(4 + page - 1));
    main->LanguageButtonClick("Eng");
}

TEST_F(Window, EveryMenuItemHasItsOwnMnemonicInEveryLanguage)
{
    auto mnemonic = [](const QString& text) {
        for (int i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != '&') continue;
            if (text[i + 1] != '&') return text[i + 1].toLower();
            ++i;
        }
        return QChar();
    };
    for (const char* id : {"Eng", "Cze", "Slo", "Ger", "Pol", "Fin", "Tur"}) {
        main->LanguageButtonClick(id);
        std::vector<QList<QAction*>> menus{main->menuBar()->actions()};
        for (QAction* a : main->menuBar()->actions())
            if (a->menu()) menus.push_back(a->menu()->actions());
        for (const auto& actions : menus) {
            QSet<QChar> used;
            for (QAction* a : actions) {
                if (a->isSeparator()) continue;
                const QChar key = mnemonic(a->text());
                EXPECT_FALSE(key.isNull()) << id << ": " << a->text().toStdString();
                EXPECT_FALSE(used.contains(key)) << id << ": " << a->text().toStdString();
                used.insert(key);
            }
        }
        // Where the same texts serve as captions and hints they show no marks.
        main->FSettingsDialog->FormActivate();
        main->FAboutBox->FormActivate();
        for (const QString& caption :
             {main->FSettingsDialog->windowTitle(), main->FAboutBox->windowTitle(), main->ToolButtons[4]->toolTip()}) {
            EXPECT_FALSE(caption.contains('&')) << id << ": " << caption.toStdString();
            EXPECT_FALSE(caption.endsWith("...")) << id << ": " << caption.toStdString();
            EXPECT_FALSE(caption.isEmpty()) << id;
        }
    }
    EXPECT_EQ(CaptionText("Save &&&as..."), "Save &as");
}

TEST_F(Window, DialogsAreCentredOnTheirFirstShowingToo)
{
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    main->m_Ops.IsModem = true;  // the monitor then polls nothing
    auto offCentre = [&](QWidget* d) {
        const QPoint delta = d->frameGeometry().center() - main->frameGeometry().center();
        return delta.manhattanLength();
    };
    int about = -1, monitor = -1;
    QTimer::singleShot(200, [&] {
        about = offCentre(main->FAboutBox);
        main->FAboutBox->accept();
    });
    main->AboutClick();
    QTimer::singleShot(200, [&] {
        monitor = offCentre(main->FMonitor);
        main->FMonitor->OkButtonClick();
    });
    main->SelectPage(7);
    // Within the frame, which a window gets only when first shown.
    EXPECT_LE(about, 8);
    EXPECT_LE(monitor, 8);
}

TEST_F(Window, TheWindowCarriesItsIconAndDisabledButtonsLookDisabled)
{
    EXPECT_TRUE(QFile::exists(":/korvanext.svg"));
    EXPECT_FALSE(main->windowIcon().isNull());
    QToolButton* disconnect = main->ToolButtons[7];
    ASSERT_FALSE(disconnect->isEnabled());  // cable mode: nothing to hang up
    const QImage normal = disconnect->icon().pixmap(24, QIcon::Normal).toImage();
    const QImage faint = disconnect->icon().pixmap(24, QIcon::Disabled).toImage();
    auto opacity = [](const QImage& image) {
        long sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) sum += qAlpha(image.pixel(x, y));
        return sum;
    };
    EXPECT_LT(opacity(faint) * 2, opacity(normal));
}

TEST_F(Window, TheProgramsBoxesNameTheirButtonsInTheInterfaceLanguage)
{
    main->SetPrompts(std::make_unique<TPrompts>());
    prompts = nullptr;
    // Slovak: the toolkit's own translation has no names for these buttons.
    main->LanguageButtonClick("Slo");
    QStringList names;
    auto read = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) names << b->text();
    };
    WhenModal(read, [](QWidget* m) { ClickButton(m, QMessageBox::No); });
    EXPECT_FALSE(main->Ask("?", TIcon::Question));
    WhenModal(read, [](QWidget* m) { ClickButton(m, QMessageBox::Cancel); });
    EXPECT_EQ(main->Prompts().AskSave(main.get(), Text(0), Text(340)), TSaveChoice::Cancel);
    for (int n : {342, 343, 344, 345, 2}) EXPECT_TRUE(names.contains(Text(n))) << names.join('|').toStdString();
    main->LanguageButtonClick("Eng");
}

TEST_F(Window, ACancelledReadSaysSoAndChangesNothing)
{
    sim->SetOption("silentAfter", 0);
    const auto before = Parameters().Snapshot();
    QTimer::singleShot(1500, [&] {
        ASSERT_NE(main->Progress(), nullptr);
        main->Progress()->CancelClick();
    });
    main->ReadFromGateway();  // as the menu runs it
    EXPECT_EQ(main->m_Ops.LinkCode, CE_USER);
    EXPECT_TRUE(prompts->shown.empty()) << LastMessage().toStdString();  // a user break shows no box
    EXPECT_EQ(main->statusBar()->currentMessage(), Text(632));           // but the status bar tells
    EXPECT_EQ(Parameters().Snapshot(), before);
    EXPECT_FALSE(main->isWindowModified());
    EXPECT_EQ(main->Progress(), nullptr);
}
