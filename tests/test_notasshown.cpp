#include "Captions.h"
#include "Catalogue.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"
#include "Telephonelines.h"
#include "Writecheck.h"
#include "apptest.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

namespace {
struct NotAsShown : AppFixture {
    void SetUp() override
    {
        StartApp();
        main->m_Ops.CopiesFolder = dir.filePath("copies");
    }
    // A configuration file with the ring-back cadence 3, cut after four GSMNum values.
    QString CutFile()
    {
        CParameters p;
        BuildCatalogue(p);
        p.SetValue("FXSRBToneCad", 0, "3");
        p.SetValue("FXSVolRec", 0, "1");
        const std::string text = p.SaveToText();
        const QString path = dir.filePath("cut.kvx");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(text.substr(0, text.find("GSMNum=") + 20)));
        return path;
    }
    QTemporaryDir dir;
};
}  // namespace

TEST_F(NotAsShown, EveryListOnThePagesOffersOnlyWhatTheGatewayKeeps)
{
    int lists = 0;
    for (int page = 0; page < 7; ++page) {
        main->SelectPage(page);
        for (const auto& c : Bindings().Controls()) {
            const auto* combo = dynamic_cast<const CParCombo*>(c.get());
            const CParameters::TMultiPar* rc = Parameters().Find(c->m_Name);
            if (!combo || !rc) continue;
            ++lists;
            for (int j = 0; j < combo->m_Control->count(); ++j) {
                const std::string v = NumberText(ComboItemValue(combo->m_Control, j));
                EXPECT_EQ(HeldValue(*rc->Par, v), v) << c->m_Name << " item " << j;
            }
        }
    }
    EXPECT_GE(lists, 20);
}

TEST_F(NotAsShown, ACutFileIsNamedOnLoadAndItsWriteAsksWithNoAsTheDefault)
{
    prompts->openPath = CutFile();
    main->LoadClick();
    // The cadence the gateway cannot keep loads as it would keep it, with a note.
    EXPECT_EQ(Parameters().GetValue("FXSRBToneCad", 0), "1");
    ASSERT_FALSE(prompts->shown.empty());
    const QString note = LastMessage();
    EXPECT_EQ(prompts->shown.back().icon, TIcon::Warning);
    EXPECT_TRUE(note.contains("FXSRBToneCad: \"3\" \u2192 \"1\"")) << note.toStdString();
    // What the file left out is named by its caption, as the pages show it.
    const QString left = BuiltInCaptions().Caption("GSMNum") + " (5-120)";
    EXPECT_TRUE(note.contains(Text(487)) && note.contains(left) && note.contains(Text(483))) << note.toStdString();
    EXPECT_FALSE(note.contains("GSMNum")) << note.toStdString();
    main->SelectPage(0);
    auto* page = dynamic_cast<TFTelephoneLines*>(main->CurrentPage());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->FxsRingBackToneCadence->count(), 2);
    EXPECT_EQ(page->FxsRingBackToneCadence->currentText(), Language().Item(281, 1));

    // Declined: the gateway is not touched.
    const std::vector<uint8_t> before = sim->Image();
    prompts->answers = {false};
    EXPECT_FALSE(main->m_Ops.WriteToGateway());
    ASSERT_EQ(prompts->asked.size(), 1);
    EXPECT_EQ(prompts->presets.back(), TDefaultAnswer::No);
    const QString question = prompts->asked.back();
    EXPECT_TRUE(question.startsWith(Text(480)) && question.contains("GSMNum:5-120") && question.contains(Text(484)))
        << question.toStdString();
    EXPECT_FALSE(question.contains("FXSRBToneCad"));  // shown as it will be
    EXPECT_EQ(main->m_Ops.Outcome, TOutcome::BadInput);
    EXPECT_EQ(sim->Block1Reads(), 0);
    EXPECT_EQ(sim->Image(), before);

    // A value set since the load is what the user sees; agreed, the rest is written.
    Parameters().SetValue("GSMNum", 4, "5");
    prompts->answers = {true};
    EXPECT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_TRUE(prompts->asked[1].contains("GSMNum:6-120")) << prompts->asked[1].toStdString();
    EXPECT_EQ(sim->Image()[33], 1);

    // A read replaces the file's configuration: nothing is missing any more.
    ASSERT_TRUE(main->m_Ops.ReadFromGateway());
    const int asked = int(prompts->asked.size());
    EXPECT_TRUE(main->m_Ops.WriteToGateway());
    EXPECT_EQ(int(prompts->asked.size()), asked);
}
