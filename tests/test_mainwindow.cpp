#include "Commonutils.h"
#include "Pageform.h"
#include "Formtexts.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"
#include "apptest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>

namespace {
// A page with one control of every binding kind.
class TTestPage : public TFPage {
public:
    TTestPage()
    {
        edit = MakeEdit("Edit1", 3, 0);
        upDown = MakeUpDown("UpDown1", edit, 1, 255);
        check = MakeCheck("CheckBox1", 37);
        track = MakeTrack("TrackBar1", 1, 5);
        combo = MakeCombo("ComboBox8", {50, 25}, 164);
        memo = new QPlainTextEdit(this);
        plain = MakeEdit("Edit2");
    }
    void LoadFromParameters() override
    {
        ApplyToForm(Language(), this);
        Bindings().ClearControls();
        BindEdit("FXSTimeDial", edit);
        BindCheck("FXSSigBeep", check, true);
        BindTrack("FXSVolRec", track);
        BindCombo("FXSAlertFrekv", combo);
        BindMemo("SMSText", memo);
        BindEdit("NotAKey", plain);
        Bindings().ControlsFromValues();
    }
    void StoreToParameters() override { Bindings().ValuesFromControls(); }
    QLineEdit* edit;
    TUpDown* upDown;
    QCheckBox* check;
    QSlider* track;
    QComboBox* combo;
    QPlainTextEdit* memo;
    QLineEdit* plain;
};

struct MainWindow : AppFixture {
    void SetUp() override { StartApp(); }
};
}  // namespace

TEST_F(MainWindow, BindingsOfEveryKind)
{
    CParameters& p = Parameters();
    TTestPage page;
    p.SetValue("FXSTimeDial", 0, "7");
    p.SetValue("FXSSigBeep", 0, "1");
    p.SetValue("FXSVolRec", 0, "0");
    p.SetValue("FXSAlertFrekv", 0, "25");
    p.SetValue("SMSText", 0, "line one\r\nline two");
    page.plain->setText("untouched");
    page.LoadFromParameters();
    EXPECT_EQ(page.edit->text(), "7");
    EXPECT_EQ(page.upDown->Position(), 7);
    EXPECT_FALSE(page.check->isChecked());  // inverted: 1 shows unchecked
    EXPECT_EQ(page.track->value(), 1);      // the track bar starts at 1
    EXPECT_EQ(page.combo->currentIndex(), 1);
    EXPECT_EQ(page.combo->currentText(), Language().Item(164, 1));
    EXPECT_EQ(page.memo->toPlainText(), "line one\nline two");
    EXPECT_EQ(page.plain->text(), "untouched");  // unknown key: no change

    page.check->setChecked(true);
    page.upDown->Step(+1);
    EXPECT_EQ(page.edit->text(), "8");
    page.StoreToParameters();
    EXPECT_EQ(p.GetValue("FXSSigBeep", 0), "0");
    EXPECT_EQ(p.GetValue("FXSTimeDial", 0), "8");
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "1");
    EXPECT_EQ(p.GetValue("SMSText", 0), "line one\r\nline two");

    // A value that matches no item shows the first and stores its value.
    p.SetValue("FXSAlertFrekv", 0, "30");
    page.LoadFromParameters();
    EXPECT_EQ(page.combo->currentIndex(), 0);
    page.StoreToParameters();
    EXPECT_EQ(p.GetValue("FXSAlertFrekv", 0), "50");

    // The spinner keeps its range while the edit shows the stored text exactly.
    p.Restore(p.Snapshot());
    page.edit->setText("0");
    page.upDown->SetPosition(0);
    EXPECT_EQ(page.upDown->Position(), 1);
}

TEST_F(MainWindow, LeavingAnEditNormalisesIt)
{
    TTestPage page;
    page.LoadFromParameters();
    page.edit->setText("300");
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(page.edit, &out);
    EXPECT_EQ(page.edit->text(), "255");
    // Registering again does not stack a second check, and a memo is checked too.
    page.LoadFromParameters();
    page.memo->setPlainText(QString(50, 'x'));
    QCoreApplication::sendEvent(page.memo, &out);
    EXPECT_EQ(page.memo->toPlainText().size(), 50);  // free text: no limit, cut when encoded
}

TEST_F(MainWindow, FileCommandsRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/site.kvx";
    CParameters& p = Parameters();
    p.SetValue("FXSVolRec", 0, "2");
    prompts->savePath = path;
    main->SaveAsClick();
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(main->FileName(), path);
    EXPECT_TRUE(main->windowTitle().remove("[*]").endsWith("site.kvx"));

    p.SetValue("FXSVolRec", 0, "5");
    main->m_Ops.PinChanged = true;
    prompts->openPath = path;
    main->LoadClick();
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "2");
    EXPECT_FALSE(main->m_Ops.PinChanged);

    // Save goes to the same file without asking again.
    p.SetValue("FXSVolRec", 0, "4");
    prompts->savePath.clear();
    main->SaveClick();
    p.SetAllDefaults();
    main->LoadClick();
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "4");

    // New: defaults, once the changes since the load are saved or given up.
    p.SetValue("FXSVolRec", 0, "1");
    prompts->saveAnswers = {TSaveChoice::Cancel, TSaveChoice::Discard};
    main->NewClick();
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "1");
    main->NewClick();
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "3");
    EXPECT_TRUE(main->FileName().isEmpty());

    // A file that cannot be read: the message names it and why, the registry is as it was.
    p.SetValue("FXSVolRec", 0, "1");
    prompts->openPath = dir.path() + "/missing.kvx";
    main->LoadClick();
    EXPECT_EQ(LastMessage(), Language().Text(130) + "\n'" + prompts->openPath + "'\n" + Language().Text(306));
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "1");

    prompts->savePath = dir.path() + "/no/such/dir/x.kvx";
    main->SaveAsClick();
    EXPECT_EQ(LastMessage(), Language().Text(129) + "\n'" + prompts->savePath + "'\n" + Language().Text(314));
}

TEST_F(MainWindow, CancelledOpenKeepsThePage)
{
    main->SelectPage(0);
    ASSERT_NE(main->CurrentPage(), nullptr);
    Parameters().SetValue("FXSVolRec", 0, "2");
    main->CurrentPage()->LoadFromParameters();  // as if typed on the page
    prompts->openPath.clear();
    main->LoadClick();
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "2");
}

TEST_F(MainWindow, PagesEmbedOneAtATimeAndTheMonitorEntryKeepsTheSelection)
{
    main->SelectPage(1);
    EXPECT_EQ(main->CurrentPageIndex(), 1);
    EXPECT_EQ(main->PageArea->widget(), main->Page(1));
    EXPECT_EQ(main->PageTitle->text(), Language().Text(5));
    main->SelectPage(4);
    EXPECT_EQ(main->PageArea->widget(), main->Page(4));
    EXPECT_EQ(main->Page(1)->parent(), main.get());
    EXPECT_FALSE(main->Page(1)->isVisible());
    EXPECT_EQ(main->PageList->currentRow(), 4);
}

TEST_F(MainWindow, LanguageSwitchRetranslatesTheWindow)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    QFile index(folder + "L_Init.ini");
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write(
        "[Settings]\nNumberOfLang=2\nNumberOfWords=420\n[Lang0]\nFile=Eng.ini\nName=English\nId=Eng\n"
        "[Lang1]\nFile=Ger.ini\nName=Deutsch\nId=Ger\n");
    index.close();
    QFile::copy(ProgramFolder() + "Eng.ini", folder + "Eng.ini");
    QFile ger(folder + "Ger.ini");
    ASSERT_TRUE(ger.open(QIODevice::WriteOnly));
    ger.write(
        "[Main]\nS0=KorvanextWin DE\nS4=Telefonleitungen\nS243=&Gateway DE\nS246=Kabelverbindung\nS375=Demo-Gateway\n");
    ger.close();
    InitLanguages(Language(), folder, main->PageMenu, [&](int l) { main->SetLanguage(l); });
    main->SelectPage(0);
    main->SetSessionPort("/dev/ttyKVX-demo", {}, 375);
    main->SetLanguage(1);
    EXPECT_EQ(main->windowTitle().remove("[*]"), "KorvanextWin DE");
    EXPECT_EQ(main->PageList->item(0)->text(), "Telefonleitungen");
    EXPECT_EQ(main->PageTitle->text(), "Telefonleitungen");
    EXPECT_EQ(main->GatewayMenu->title(), "&Gateway DE");
    EXPECT_EQ(main->StatusLine->text(), "Kabelverbindung  (Demo-Gateway)");
    EXPECT_TRUE(main->LanguageButtons[3]->isChecked());
    main->LanguageButtonClick("Eng");
    EXPECT_EQ(main->PageList->item(0)->text(), "Telephone lines");
    EXPECT_TRUE(main->LanguageButtons[1]->isChecked());
    EXPECT_EQ(main->PageTitle->text(), "Telephone lines");  // the page caption follows the language
    EXPECT_TRUE(main->StatusLine->text().endsWith("(demo gateway)"));
}

TEST_F(MainWindow, LinkControlsFollowTheMode)
{
    EXPECT_TRUE(main->ToolButtons[0]->isEnabled());
    EXPECT_FALSE(main->ToolButtons[5]->isEnabled());
    EXPECT_TRUE(main->StatusLine->text().startsWith(Language().Text(246)));
    main->m_Ops.IsModem = true;
    main->m_Ops.ModemNumber = "123";
    main->UpdateLinkControls();
    EXPECT_FALSE(main->ToolButtons[0]->isEnabled());
    EXPECT_TRUE(main->ToolButtons[5]->isEnabled());
    EXPECT_EQ(main->StatusLine->text(), Language().Text(248));
    main->m_Ops.SetLinkState(true, true);
    EXPECT_TRUE(main->ToolButtons[0]->isEnabled());
    EXPECT_TRUE(main->ToolButtons[7]->isEnabled());
    EXPECT_EQ(main->StatusLine->text(), Language().Text(247));
    main->m_Ops.SetLinkState(false, false);
}
