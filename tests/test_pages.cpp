#include "Catalogue.h"
#include "Commonutils.h"
#include "Gsmsim.h"
#include "Initialisation.h"
#include "Formtexts.h"
#include "Language.h"
#include "Smsinput.h"
#include "Parameters.h"
#include "Bindings.h"
#include "Service.h"
#include "Telephonelines.h"
#include "Routingtables.h"
#include "Security.h"
#include "apptest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QRegularExpression>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <set>

namespace {
struct Pages : AppFixture {
    void SetUp() override { StartApp(); }
    template <class T> T* Show(int index)
    {
        main->SelectPage(index);
        return dynamic_cast<T*>(main->CurrentPage());
    }
    static void Leave(QWidget* w)
    {
        QFocusEvent out(QEvent::FocusOut);
        QCoreApplication::sendEvent(w, &out);
    }
    CParameters& P() { return Parameters(); }
};
}  // namespace

TEST_F(Pages, TelephoneLinesShowAndStoreEveryKind)
{
    P().SetValue("FXSSigBeep", 0, "0");
    P().SetValue("FXSAlertFrekv", 0, "25");
    P().SetValue("FXOVolRec", 0, "0");
    P().SetValue("FXSDialToneF1", 0, "400");
    P().SetValue("FXSDialToneF2", 0, "450");
    P().SetValue("FXODTMFLength", 0, "700");
    auto* page = Show<TFTelephoneLines>(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Bindings().ControlCount(), 48u);
    EXPECT_TRUE(page->FxsEndOfDiallingBeep->isChecked());  // inverted
    EXPECT_EQ(page->FxsRingingFrequency->currentIndex(), 1);
    EXPECT_EQ(page->FxoReceiveVolume->value(), 1);
    EXPECT_EQ(page->FxoFlashLength->text(), "700");
    EXPECT_EQ(page->FxoFlashLengthUpDown->Position(), 700);
    EXPECT_TRUE(page->FxsDialToneTwoTone->isChecked());  // 400 and 450: two tones
    EXPECT_TRUE(page->FxsDialToneSecond->isEnabled());
    EXPECT_FALSE(page->FxsBusyToneTwoTone->isChecked());  // 425 and 425
    EXPECT_FALSE(page->FxsBusyToneSecond->isEnabled());
    EXPECT_EQ(page->PortTabs->currentWidget(), page->FxsSheet);

    // One tone: the second frequency follows the first.
    page->FxsBusyToneFirst->setText("440");
    EXPECT_EQ(page->FxsBusyToneSecond->text(), "440");
    // Unchecking two tones copies the first frequency into the second.
    page->FxsDialToneTwoTone->setChecked(false);
    page->TwoToneClick(page->m_Tones[0]);
    EXPECT_EQ(page->FxsDialToneSecond->text(), "400");
    page->FxsPolarityReversal->setChecked(true);
    main->SelectPage(2);  // leaving stores
    EXPECT_EQ(P().GetValue("FXSConToneF1", 0), "440");
    EXPECT_EQ(P().GetValue("FXSConToneF2", 0), "440");
    EXPECT_EQ(P().GetValue("FXSDialToneF2", 0), "400");
    EXPECT_EQ(P().GetValue("FXSSigCall", 0), "1");
    EXPECT_EQ(P().GetValue("FXOVolRec", 0), "1");
    EXPECT_EQ(P().GetValue("FXSAlertFrekv", 0), "25");
}

TEST_F(Pages, PermanentToneSpinnerSkipsTheDeadZone)
{
    auto* page = Show<TFTelephoneLines>(0);
    page->FxoPermanentToneDetection->setText("0");
    page->FxoPermanentToneDetectionUpDown->Step(+1);
    EXPECT_EQ(page->FxoPermanentToneDetection->text(), "1610");
    page->FxoPermanentToneDetectionUpDown->Step(+1);
    EXPECT_EQ(page->FxoPermanentToneDetection->text(), "1645");
    page->FxoPermanentToneDetection->setText("1610");
    page->FxoPermanentToneDetectionUpDown->Step(-1);
    EXPECT_EQ(page->FxoPermanentToneDetection->text(), "0");
    page->FxoPermanentToneDetection->setText("100");
    Leave(page->FxoPermanentToneDetection);
    EXPECT_EQ(page->FxoPermanentToneDetection->text(), "1610");
}

TEST_F(Pages, RoutingGridsHoldEveryInstance)
{
    P().SetValue("FXSNumBegin", 0, "420");
    P().SetValue("FXSNumBegin", 119, "9?");
    P().SetValue("FXSDirection", 4, "2");
    P().SetValue("GSMDirection", 7, "4");
    P().SetValue("FXODefCallTime", 0, "9");
    P().SetValue("Veltran", 0, "12");
    auto* page = Show<TFRoutingTables>(1);
    ASSERT_NE(page, nullptr);
    auto& fxs = page->TabFXS;
    EXPECT_EQ(fxs.table->rowCount(), 120);
    EXPECT_EQ(fxs.table->verticalHeaderItem(0)->text(), "1.");
    EXPECT_EQ(fxs.table->verticalHeaderItem(119)->text(), "120.");
    EXPECT_EQ(page->CellValue(fxs, 0, 0), "420");
    EXPECT_EQ(page->CellValue(fxs, 119, 0), "9?");
    EXPECT_EQ(page->CellValue(fxs, 4, 2), "2");
    EXPECT_EQ(fxs.table->item(4, 2)->text(), Language().Item(216, 2));  // a list cell shows its item text
    EXPECT_EQ(page->CellValue(page->TabGSM, 7, 2), "4");
    EXPECT_EQ(page->CellValue(page->TabFXODef, 0, 6), "9");  // after the label column
    EXPECT_EQ(page->FxoVeltranNumber->text(), "12");         // the mirror of the Veltran number

    // FXO grids only for routing by table.
    page->FxoCallsTo->setCurrentIndex(0);
    EXPECT_FALSE(page->TabFXO.table->isEnabled());
    page->FxoCallsTo->setCurrentIndex(1);
    EXPECT_TRUE(page->TabFXO.table->isEnabled());

    // A typed cell is normalised by its value type when its editor closes.
    auto* delegate = page->TabFXS.table->itemDelegate();
    const QModelIndex remove = page->TabFXS.table->model()->index(5, 5);
    QWidget* editor = delegate->createEditor(page->TabFXS.table->viewport(), {}, remove);
    static_cast<QLineEdit*>(editor)->setText("99x");
    delegate->setModelData(editor, page->TabFXS.table->model(), remove);
    EXPECT_EQ(page->CellValue(fxs, 5, 5), "20");
    delete editor;
    // A list cell takes the picked item's value.
    const QModelIndex dir = page->TabFXS.table->model()->index(2, 2);
    editor = delegate->createEditor(page->TabFXS.table->viewport(), {}, dir);
    static_cast<QComboBox*>(editor)->setCurrentIndex(3);
    delegate->setModelData(editor, page->TabFXS.table->model(), dir);
    EXPECT_EQ(page->CellValue(fxs, 2, 2), "3");
    delete editor;

    page->FxoVeltranNumber->setText("777");
    EXPECT_EQ(page->FxsVeltranNumber->text(), "777");
    // Even a value put in a cell by other means is stored normalised.
    page->SetCell(page->TabGSM, 1, 1, "300");
    page->StoreToParameters();
    EXPECT_EQ(P().GetValue("FXSRemove", 5), "20");
    EXPECT_EQ(P().GetValue("FXSDirection", 2), "3");
    EXPECT_EQ(P().GetValue("GSMSubString", 1), "15");
    EXPECT_EQ(P().GetValue("Veltran", 0), "777");
    EXPECT_EQ(P().GetValue("FXSNumBegin", 119), "9?");

    // An untouched grid stores what it was loaded with.
    page->LoadFromParameters();
    const auto loaded = P().Snapshot();
    page->StoreToParameters();
    EXPECT_EQ(P().Snapshot(), loaded);
    page->FitToArea(800, 100);
    EXPECT_GE(page->minimumHeight(), 184);
}

TEST_F(Pages, SmsInputAndGsmPage)
{
    auto* sms = Show<TFSmsInput>(2);
    sms->SendAfter->setText("150");
    Leave(sms->SendAfter);
    EXPECT_EQ(sms->SendAfter->text(), "100");
    sms->SmsText->setPlainText(QString(45, 'a'));
    EXPECT_EQ(sms->SmsText->toPlainText().size(), 40);
    main->SelectPage(3);
    EXPECT_EQ(P().GetValue("SMSText", 0), std::string(40, 'a'));

    auto* gsm = dynamic_cast<TFGsmSim*>(main->CurrentPage());
    ASSERT_NE(gsm, nullptr);
    EXPECT_EQ(gsm->OperatorLock->text(), Language().Text(111));
    gsm->Clir->setCurrentIndex(2);
    gsm->CreditPosition->setText("200");
    Leave(gsm->CreditPosition);
    EXPECT_EQ(gsm->CreditPosition->text(), "180");
    gsm->CreditQueryCode->setText("*101");
    Leave(gsm->CreditQueryCode);
    EXPECT_EQ(gsm->CreditQueryCode->text(), "*101#");
    main->SelectPage(4);
    EXPECT_EQ(P().GetValue("CLIRInk", 0), "2");
    EXPECT_EQ(P().GetValue("CreditCode", 0), "*101#");

    P().SetValue("OperLock", 0, std::string("23001") + char('7' | 0x80));
    main->SelectPage(3);
    EXPECT_EQ(gsm->OperatorLock->text(), Substitute(Language().Text(138), {"230017"}));
    P().SetValue("OperLock", 0, "23001");
    gsm->LoadFromParameters();
    EXPECT_EQ(gsm->OperatorLock->text(), Substitute(Language().Text(137), {"23001"}));
    EXPECT_EQ(P().GetValue("OperLock", 0), "23001");
}

TEST_F(Pages, ServicePageSharesTheServiceNumber)
{
    auto* service = Show<TFService>(4);
    EXPECT_EQ(service->HardwareVersion->text(), Language().Text(101));
    EXPECT_EQ(service->OperatorLock->text(), Language().Text(111));
    EXPECT_TRUE(service->ComPortEnabled->isChecked());  // COMPerm 0, inverted
    service->ComPortEnabled->setChecked(false);
    service->ServiceSmsNumber->setText("+420111");
    service->Substrings[2]->setText("16");
    Leave(service->Substrings[2]);
    auto* gsm = Show<TFGsmSim>(3);
    EXPECT_EQ(gsm->ServiceSmsNumber->text(), "+420111");
    EXPECT_EQ(P().GetValue("COMPerm", 0), "1");
    EXPECT_EQ(P().GetValue("SubString3", 0), "15");
    P().SetValue("HWVer", 0, "C");
    service = Show<TFService>(4);
    EXPECT_EQ(service->HardwareVersion->text(), "C");
}

TEST_F(Pages, InitialisationResetsExactlyItsGroup)
{
    auto* init = Show<TFInitialisation>(5);
    ASSERT_NE(init, nullptr);
    // Change every value of every key.
    for (const auto& [key, rc] : P().Entries())
        for (int i = 0; i < rc.Count; ++i) P().SetValue(key, i, "1");
    const auto changed = P().Snapshot();
    prompts->answers = {false};
    init->ButtonClick(2);
    EXPECT_EQ(P().Snapshot(), changed);

    init->ButtonClick(2);  // FXS routing
    std::set<std::string> group(TFInitialisation::GroupKeys(2).begin(), TFInitialisation::GroupKeys(2).end());
    for (const auto& [key, rc] : P().Entries()) {
        const bool reset = group.count(key) > 0;
        for (int i = 0; i < rc.Count; ++i)
            ASSERT_EQ(rc.Values[size_t(i)] == rc.Par->m_Default,
                      reset || P().Find(key)->Par->Normalize("1") == rc.Par->m_Default)
                << key;
    }
    EXPECT_FALSE(main->m_Ops.PinChanged);
    init->ButtonClick(-1);
    EXPECT_TRUE(main->m_Ops.PinChanged);
    EXPECT_TRUE(main->m_Ops.PasswordChanged);
    EXPECT_EQ(TFInitialisation::GroupKeys(-1).size(), 117u);
    // Remote supervision and the identification survive even this.
    EXPECT_EQ(P().GetValue("ModemNum1", 0), "1");
    EXPECT_EQ(P().GetValue("HWVer", 0), "1");
    EXPECT_EQ(P().GetValue("PINVal", 0), "");
}

TEST_F(Pages, SecurityPageMarksChangesAndHidesWhenStored)
{
    auto* sec = Show<TFSecurity>(6);
    main->SelectPage(0);
    EXPECT_FALSE(main->m_Ops.PinChanged);
    EXPECT_FALSE(main->m_Ops.PasswordChanged);
    sec = Show<TFSecurity>(6);
    sec->PinEdit->setText("1234");
    sec->PinEdit->setText("");  // back to the loaded text
    main->SelectPage(0);
    EXPECT_FALSE(main->m_Ops.PinChanged);
    sec = Show<TFSecurity>(6);
    EXPECT_TRUE(sec->isVisible() || !main->isVisible());
    sec->PinEdit->setText("12");
    sec->StoreToParameters();
    EXPECT_TRUE(main->m_Ops.PinChanged);
    EXPECT_FALSE(main->m_Ops.PasswordChanged);
    EXPECT_EQ(P().GetValue("PINVal", 0), "1234");
    EXPECT_TRUE(sec->isHidden());
}

TEST_F(Pages, EveryKeyIsReachableFromSomePage)
{
    std::set<std::string> seen = {"HWVer", "SWVer", "SerialNum", "OperLock"};  // shown on the service page
    for (int i = 0; i < 7; ++i) {
        main->SelectPage(i);
        for (const auto& c : Bindings().Controls()) seen.insert(c->m_Name);
        if (auto* r = dynamic_cast<TFRoutingTables*>(main->CurrentPage()))
            for (auto* g : {&r->TabFXS, &r->TabFXSDef, &r->TabFXO, &r->TabFXODef, &r->TabGSM, &r->TabGSMDef})
                for (const auto& col : g->columns) seen.insert(col.key);
    }
    for (const auto& [key, rc] : P().Entries()) EXPECT_TRUE(seen.count(key)) << key << " is on no page";
    EXPECT_EQ(seen.size(), 131u);
}

TEST_F(Pages, NoKeyNameShowsInAnyLanguage)
{
    for (int lang = 0; lang < Language().LanguageCount(); ++lang)
        for (int i = 0; i < 7; ++i) {
            main->SetLanguage(lang);
            main->SelectPage(i);
            // The dialogs translate themselves when shown; do it here as they would.
            for (QDialog* d : main->findChildren<QDialog*>()) ApplyToForm(Language(), d);
            for (QWidget* w : main->findChildren<QWidget*>()) {
                QString text;
                if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
                else if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
                else if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
                else if (auto* c = qobject_cast<QComboBox*>(w))
                    for (int j = 0; j < c->count(); ++j) text += c->itemText(j) + " ";
                EXPECT_FALSE(QRegularExpression("\\bS\\d+(H|_\\d+)?\\b").match(text).hasMatch())
                    << Language().LanguageName(lang).toStdString() << " " << w->objectName().toStdString() << ": "
                    << text.toStdString();
            }
        }
}

TEST_F(Pages, EmptyOperatorLockAfterAReadMeansNoLock)
{
    auto* gsm = Show<TFGsmSim>(3);
    EXPECT_EQ(gsm->OperatorLock->text(), Language().Text(111));  // nothing read yet
    main->ReadFromGateway();                                     // the simulated gateway reports no lock
    ASSERT_EQ(P().GetValue("OperLock", 0), "");
    ASSERT_FALSE(P().GetValue("SWVer", 0).empty());
    EXPECT_EQ(gsm->OperatorLock->text(), Language().Text(372));
    EXPECT_NE(Language().Text(372), Language().Text(111));
    auto* service = Show<TFService>(4);
    EXPECT_EQ(service->OperatorLock->text(), Language().Text(372));
}

// The bindings belong to the registry they were made on: global objects made
// afresh start with none, also where the new registry takes the old one's
// memory. Instances the registry lacks are left alone both ways.
TEST(PagesBindings, FollowTheirRegistryAndPassOverWhatItLacks)
{
    QLineEdit level, beyond, unknown;
    {
        TGlobalObjects globals;
        CParameters& p = Parameters();
        p.Add("Level", std::make_unique<CParInt>(5, 0, 10), 2, -1, 0);
        p.SetValue("Level", 0, "3");
        p.SetValue("Level", 1, "7");
        CParBindings& b = Bindings();
        b.ClearControls();
        b.AddControl("Level", 1, &level);
        b.AddControl("Level", 2, &beyond);
        b.AddControl("Missing", 0, &unknown);
        beyond.setText("x");
        unknown.setText("y");
        b.ControlsFromValues();
        EXPECT_EQ(level.text(), "7");
        EXPECT_EQ(beyond.text(), "x");
        EXPECT_EQ(unknown.text(), "y");

        level.setText("42");
        b.ValuesFromControls();
        EXPECT_EQ(p.GetValue("Level", 1), "10");  // normalised by the value type
        EXPECT_EQ(p.GetValue("Level", 0), "3");
        EXPECT_EQ(Bindings().ControlCount(), 3u);
    }
    for (int i = 0; i < 3; ++i) {
        TGlobalObjects globals;
        EXPECT_EQ(Bindings().ControlCount(), 0u);
        Bindings().AddControl("Level", 0, &level);
    }
}
