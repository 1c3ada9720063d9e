// The window for everyone: names a screen reader speaks, files opened from the
// file manager, the settings folder, the place kept for the window, what the
// pane says when its page has closed, and the marker of unsaved changes.
#include "Appsettings.h"
#include "Firmwarechoice.h"
#include "Catalogue.h"
#include "Dialing.h"
#include "Dialingdialog.h"
#include "Commonutils.h"
#include "Keyboard.h"
#include "Language.h"
#include "Monitor.h"
#include "Settingsdialog.h"
#include "Restoredialog.h"
#include "Aboutbox.h"
#include "Parameters.h"
#include "Comparedialog.h"
#include "Profile.h"
#include "Telephonelines.h"
#include "Routingtables.h"
#include "apptest.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Access : AppFixture {
    void SetUp() override { StartApp(); }
};

// Focusable controls of the window that shows in front, that a screen reader
// reads with no name (cells of tables and items of lists are named by them).
QStringList Unnamed(QWidget* root)
{
    QStringList found;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(root) || w->focusProxy()) continue;
        if (qobject_cast<QAbstractItemView*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr)) continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            found << QString("%1 (%2)").arg(w->objectName(), w->metaObject()->className());
    }
    return found;
}

// Shows every tab of every tab control of the page in turn and lists what is unnamed.
QStringList UnnamedOnEveryTab(QWidget* page)
{
    QStringList found = Unnamed(page);
    for (QTabWidget* tabs : page->findChildren<QTabWidget*>()) {
        // Inner tab controls show only while the tabs around them do.
        for (QWidget* p = tabs->parentWidget(); p && p != page; p = p->parentWidget())
            if (auto* outer =
                    qobject_cast<QTabWidget*>(p->parentWidget() ? p->parentWidget()->parentWidget() : nullptr))
                outer->setCurrentWidget(p);
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            found += Unnamed(page);
        }
        tabs->setCurrentIndex(0);
    }
    found.removeDuplicates();
    return found;
}
}  // namespace

TEST_F(Access, EveryFocusableControlHasANameInEveryLanguage)
{
    main->ShowAtStart(0, {});
    for (const char* id : {"Eng", "Ger", "Tur"}) {
        main->LanguageButtonClick(id);
        EXPECT_EQ(Unnamed(main.get()).join(", ").toStdString(), "") << id << ": the window";
        for (int i = 0; i < 7; ++i) {
            main->SelectPage(i);
            EXPECT_EQ(UnnamedOnEveryTab(main->Page(i)).join(", ").toStdString(), "") << id << ": page " << i;
        }
        main->m_Ops.IsModem = true;  // the monitor then polls nothing
        main->FDialingDialog->Prepare();
        for (QDialog* d : std::initializer_list<QDialog*>{main->FSettingsDialog, main->FCompareDialog,
                                                          main->FRestoreDialog, main->FAboutBox, main->FMonitor,
                                                          main->FFirmwareChoice, main->FDialingDialog}) {
            d->show();
            EXPECT_EQ(UnnamedOnEveryTab(d).join(", ").toStdString(), "") << id << ": " << d->objectName().toStdString();
            d->hide();
        }
        main->m_Ops.IsModem = false;
    }
    // The tool bar's buttons say what they do, in the interface language.
    EXPECT_EQ(main->ToolButtons[0]->accessibleName(), CaptionText(Text(69)));
    EXPECT_EQ(main->PageList->accessibleName(), Text(571));
}

TEST_F(Access, ADefaultRuleNamesItsColumnsAsItsTableDoes)
{
    main->SelectPage(1);
    auto* page = static_cast<TFRoutingTables*>(main->Page(1));
    for (auto [table, rule] : {std::pair{&page->TabFXS, &page->TabFXSDef}, std::pair{&page->TabFXO, &page->TabFXODef},
                               std::pair{&page->TabGSM, &page->TabGSMDef}}) {
        for (int c = rule->first; c < rule->table->columnCount(); ++c) {
            ASSERT_NE(rule->table->horizontalHeaderItem(c), nullptr);
            EXPECT_EQ(rule->table->horizontalHeaderItem(c)->text(), table->table->horizontalHeaderItem(c)->text());
        }
        EXPECT_FALSE(rule->table->accessibleName().isEmpty());
        EXPECT_FALSE(table->table->accessibleName().isEmpty());
    }
}

TEST_F(Access, TheDialogsControlsHaveMnemonicsOfTheirOwn)
{
    for (const char* id : {"Eng", "Cze", "Fin"}) {
        main->LanguageButtonClick(id);
        for (QDialog* d :
             std::initializer_list<QDialog*>{main->FSettingsDialog, main->FCompareDialog, main->FRestoreDialog}) {
            d->show();
            QSet<QChar> used;
            for (QAbstractButton* b : d->findChildren<QAbstractButton*>()) {
                if (!b->isVisibleTo(d) || b->text().isEmpty()) continue;
                const QChar key = MnemonicKey(b->text());
                EXPECT_FALSE(key.isNull()) << id << ": " << b->text().toStdString();
                EXPECT_FALSE(used.contains(key)) << id << ": " << b->text().toStdString();
                used.insert(key);
            }
            d->hide();
        }
    }
}

TEST_F(Access, TheWindowOpensOnTheFirstPageAndKeepsTheTabOnALanguageSwitch)
{
    main->ShowAtStart(-1, {});
    EXPECT_EQ(main->CurrentPageIndex(), 0);
    EXPECT_EQ(main->PageArea->widget(), main->Page(0));
    auto* lines = static_cast<TFTelephoneLines*>(main->Page(0));
    lines->PortTabs->setCurrentIndex(1);
    main->LanguageButtonClick("Ger");
    EXPECT_EQ(lines->PortTabs->currentIndex(), 1);
    main->SelectPage(1);
    auto* routing = static_cast<TFRoutingTables*>(main->Page(1));
    routing->DirectionTabs->setCurrentIndex(2);
    main->LanguageButtonClick("Eng");
    EXPECT_EQ(routing->DirectionTabs->currentIndex(), 2);
}

TEST_F(Access, TheSecurityPageSaysWhereItWentWhenItCloses)
{
    main->show();
    main->SelectPage(6);
    auto* notice = main->findChild<QLabel*>("ClosedNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->isVisible());
    main->LanguageButtonClick("Ger");  // stores the page, which closes itself
    EXPECT_FALSE(main->Page(6)->isVisible());
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains(Text(10))) << notice->text().toStdString();
    main->SelectPage(6);
    EXPECT_TRUE(main->Page(6)->isVisible());
    EXPECT_FALSE(notice->isVisible());
    main->SelectPage(0);
    EXPECT_FALSE(notice->isVisible());
}

TEST_F(Access, TheTitleMarksUnsavedChanges)
{
    main->show();
    EXPECT_TRUE(main->windowTitle().contains("[*]"));
    EXPECT_FALSE(main->isWindowModified());
    main->SelectPage(4);
    auto* edit = main->Page(4)->findChild<QLineEdit*>("ServiceSmsNumber");
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, "123");
    EXPECT_TRUE(main->isWindowModified());
    QTemporaryDir dir;
    prompts->savePath = dir.filePath("a.kvx");
    ASSERT_TRUE(main->SaveClick());
    EXPECT_FALSE(main->isWindowModified());
    // Typed back to what was saved: clean again once the page is left.
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_TRUE(main->isWindowModified());
    QTest::keyClicks(edit, "3");
    main->SelectPage(0);
    EXPECT_FALSE(main->isWindowModified());
}

TEST_F(Access, MerelyShowingThePagesMarksNothing)
{
    main->show();
    QTemporaryDir dir;
    prompts->savePath = dir.filePath("read.kvx");
    prompts->openPath = prompts->savePath;
    // The keys whose values are no longer those of `clean`, for a failure's message.
    const auto changed = [](const CParameters::TSnapshot& clean) {
        std::string keys;
        size_t i = 0;
        for (const auto& [key, rc] : Parameters().Entries())
            if (i < clean.size() && rc.Values != clean[i++]) keys += key + " ";
        return keys;
    };
    const auto walk = [&](const char* after) {
        const auto clean = Parameters().Snapshot();
        for (int page : {0, 1, 2, 3, 4, 5, 6, 0}) {
            main->SelectPage(page);
            EXPECT_FALSE(main->isWindowModified()) << after << ", page " << page << ": " << changed(clean);
        }
        EXPECT_FALSE(main->IsModified()) << after;
    };
    main->ReadFromGateway();
    ASSERT_EQ(main->m_Ops.Outcome, TOutcome::Done);
    walk("after a read");
    ASSERT_TRUE(main->SaveClick());
    main->NewClick();
    walk("after New");
    main->LoadClick();
    ASSERT_EQ(main->FileName(), prompts->openPath);
    walk("after a load");
}

TEST_F(Access, AFileNamedAtStartLoadsAsLoadDoes)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("gateway.kvx");
    {
        CParameters other;
        BuildCatalogue(other);
        other.SetValue("SMSText", 0, "from the file");
        ASSERT_TRUE(other.SaveToFile(good.toStdString()));
    }
    EXPECT_TRUE(main->ShowAtStart(3, good));
    EXPECT_EQ(main->CurrentPageIndex(), 3);
    EXPECT_EQ(Parameters().GetValue("SMSText", 0), "from the file");
    EXPECT_EQ(main->FileName(), good);
    EXPECT_TRUE(prompts->shown.empty());

    // A file that is no configuration: the error names it, the window starts empty.
    const QString bad = dir.filePath("notes.kvx");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("just some notes\n");
    f.close();
    main->NewClick();
    const auto defaults = Parameters().Snapshot();
    EXPECT_FALSE(main->ShowAtStart(0, bad));
    ASSERT_FALSE(prompts->shown.empty());
    EXPECT_EQ(prompts->shown.back().icon, TIcon::Error);
    EXPECT_TRUE(LastMessage().contains(QDir::toNativeSeparators(bad)));
    EXPECT_EQ(Parameters().Snapshot(), defaults);
    EXPECT_TRUE(main->FileName().isEmpty());
}

TEST_F(Access, TheRoutingTablesScrollBarsStayInViewInASmallWindow)
{
    main->show();
    main->SelectPage(1);
    auto* page = static_cast<TFRoutingTables*>(main->Page(1));
    for (const char* id : {"Eng", "Ger"}) {
        main->LanguageButtonClick(id);
        for (const QSize size : {QSize(500, 400), QSize(TAppSettings::DesignWidth, TAppSettings::DesignHeight)}) {
            main->resize(size);
            for (int tab = 0; tab < 3; ++tab) {
                page->DirectionTabs->setCurrentIndex(tab);
                QApplication::processEvents();
                const QTableWidget* table = tab == 0   ? page->TabFXS.table
                                            : tab == 1 ? page->TabFXO.table
                                                       : page->TabGSM.table;
                const QWidget* viewport = main->PageArea->viewport();
                const QScrollBar* bar = table->verticalScrollBar();
                const QRect at(bar->mapTo(viewport, QPoint(0, 0)), bar->size());
                EXPECT_LE(at.right(), viewport->rect().right()) << id << " " << size.width() << " tab " << tab;
            }
        }
    }
}

// ---------------------------------------------------------------- settings folder and place

TEST(AccessSettingsPlace, SettingsLiveInTheConfigFolderAndMoveThereFromTheOldPlace)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    EXPECT_EQ(SettingsFilePath(), config + "/korvanext/KorvanextWin.ini");
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir(documents).removeRecursively();
    QFile::remove(SettingsFilePath());

    // A user without a documents folder gets none.
    {
        TGlobalObjects globals;
        TFMain main;
        main.close();
    }
    EXPECT_FALSE(QFileInfo::exists(documents));
    EXPECT_TRUE(QFileInfo::exists(SettingsFilePath()));

    // Settings an earlier version kept are read once, then written to the new place.
    QFile::remove(SettingsFilePath());
    ASSERT_TRUE(CreatePath(documents + "/KorvanextWin program"));
    CIniFile old;
    old.WriteString("Settings", "Com", "Com7");
    ASSERT_TRUE(old.Save(OldSettingsFilePath()));
    EXPECT_EQ(SettingsReadPath(), OldSettingsFilePath());
    {
        TGlobalObjects globals;
        TFMain main;
        EXPECT_EQ(main.m_Ops.ComPort, "Com7");
        main.close();
    }
    EXPECT_EQ(CIniFile(SettingsFilePath()).ReadString("Settings", "Com", ""), "Com7");
    EXPECT_EQ(SettingsReadPath(), SettingsFilePath());
    QDir(documents).removeRecursively();
}

TEST(AccessSettingsPlace, APlaceOffEveryScreenIsNotKept)
{
    const std::vector<QRect> screens{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)};
    EXPECT_TRUE(PlaceOnScreen(QRect(10, 10, 800, 600), screens));
    EXPECT_TRUE(PlaceOnScreen(QRect(1500, 100, 800, 600), screens));
    EXPECT_FALSE(PlaceOnScreen(QRect(-3, -30, 800, 600), screens));  // what a compositor reports for its own frame
    EXPECT_FALSE(PlaceOnScreen(QRect(4000, 10, 800, 600), screens));

    QFile::remove(SettingsFilePath());
    CIniFile ini;
    ini.WriteInteger("Settings", "Left", 40);
    ini.WriteInteger("Settings", "Top", 50);
    ini.WriteInteger("Settings", "Width", 400);
    ini.WriteInteger("Settings", "Height", 300);
    ASSERT_TRUE(ini.Save(SettingsFilePath()));
    {
        TGlobalObjects globals;
        TFMain main;
        main.move(-5000, -5000);
        main.close();
    }
    CIniFile written(SettingsFilePath());
    EXPECT_EQ(written.ReadInteger("Settings", "Left", 0), 40);
    EXPECT_EQ(written.ReadInteger("Settings", "Top", 0), 50);
}

TEST(AccessSettingsPlace, TheWindowFitsTheScreenWithItsFrame)
{
    TAppSettings s;
    s.Width = 891;
    s.Height = 715;
    s.Left = 100;
    s.Top = 100;
    // A 1280 × 1024 screen at a scale of 1.5 offers 853 × 682 less its panels;
    // the window system adds a title bar and borders.
    const QRect screen(0, 0, 853, 650);
    const QMargins frame(4, 30, 4, 4);
    const QRect place = s.Placement({screen}, 400, 300, frame);
    EXPECT_TRUE(screen.contains(QRect(place.topLeft(), place.size() + QSize(8, 34))));
    EXPECT_EQ(place.size(), QSize(845, 616));
    EXPECT_EQ(place.topLeft(), QPoint(0, 0));
}
