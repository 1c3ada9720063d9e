#include "Captions.h"
#include "Bindings.h"
#include "Catalogue.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Restoredialog.h"
#include "Parameters.h"
#include "Comparedialog.h"
#include "apptest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QPushButton>

using namespace ImageLayout;

namespace {
std::unique_ptr<CParameters> Defaults()
{
    auto p = std::make_unique<CParameters>();
    BuildCatalogue(*p);
    return p;
}

struct Compare : AppFixture {
    void SetUp() override
    {
        StartApp();
        main->m_Ops.CopiesFolder = copies.path();
    }
    TFCompareDialog& Dialog() { return *main->FCompareDialog; }
    // The rows of the dialog: caption column, row, window value, other value.
    QStringList Row(int i) const
    {
        const QTreeWidgetItem* item = main->FCompareDialog->Differences->topLevelItem(i);
        return {item->text(0), item->text(1), item->text(2), item->text(3)};
    }
    int RowOf(const QString& key) const
    {
        const QTreeWidget* t = main->FCompareDialog->Differences;
        for (int i = 0; i < t->topLevelItemCount(); ++i)
            if (t->topLevelItem(i)->text(0).endsWith("(" + key + ")")) return i;
        return -1;
    }
    QTemporaryDir copies;
};
}  // namespace

// ---------------------------------------------------------------- comparison of configurations

TEST(CompareResults, ListsSettingsThatDifferWithTheirRows)
{
    auto mine = Defaults(), other = Defaults();
    mine->SetValue("FXSVolRec", 0, "1");
    mine->SetValue("GSMNum", 4, "777");
    other->SetValue("GSMNum", 119, "5");
    // Identification is not a setting; the secrets count only when asked for.
    mine->SetValue("SerialNum", 0, "KX2-1");
    mine->SetValue("PINVal", 0, "1234");
    TComparison c = CompareConfigurations(*mine, *other);
    ASSERT_EQ(c.differences.size(), 3u);
    EXPECT_EQ(SettingName(c.differences[0].key, c.differences[0].index, c.differences[0].count), "FXSVolRec");
    EXPECT_EQ(c.differences[0].mine, "1");
    EXPECT_EQ(c.differences[0].other, "3");
    EXPECT_EQ(SettingName("GSMNum", c.differences[1].index, c.differences[1].count), "GSMNum:5");
    EXPECT_EQ(SettingName("GSMNum", c.differences[2].index, c.differences[2].count), "GSMNum:120");
    EXPECT_EQ(c.differences[2].mine, "");
    EXPECT_EQ(c.differences.size() + size_t(c.equal), 2749u - 6u);  // all but identification and secrets
    c = CompareConfigurations(*mine, *other, {"PINVal"});
    EXPECT_EQ(c.differences.size(), 4u);
    EXPECT_TRUE(CompareConfigurations(*other, *other).Same());
}

TEST(CompareResults, ChosenValuesAloneReachTheImage)
{
    // A gateway image with values of its own and bytes no setting owns.
    auto gateway = Defaults();
    gateway->SetValue("FXSTypeDial", 0, "1");  // bit 0 of byte 0
    gateway->SetValue("FXSSigBeep", 0, "1");   // bit 4 of the same byte
    gateway->SetValue("SMSText", 0, "a long text of the gateway");
    gateway->SetValue("FXSNumBegin", 7, "123456");
    std::vector<uint8_t> image = GatewayImage(*gateway);
    image[1500] = 0x5A;  // no setting lives here
    const std::vector<uint8_t> before = image;

    auto window = Defaults();
    window->SetValue("FXSTypeDial", 0, "0");
    window->SetValue("FXSSigBeep", 0, "0");
    window->SetValue("SMSText", 0, "short");
    window->SetValue("FXSNumBegin", 7, "");
    window->SetValue("FXSNumBegin", 8, "99");
    window->SetValue("FXSVolRec", 0, "5");  // differs, but not chosen
    ApplyChosen(image.data(), *window,
                {{"FXSTypeDial", 0}, {"SMSText", 0}, {"FXSNumBegin", 7}, {"FXSNumBegin", 8}, {"NoSuchKey", 0}});

    auto result = Defaults();
    result->FromImage(image.data());
    EXPECT_EQ(result->GetValue("FXSTypeDial", 0), "0");
    EXPECT_EQ(result->GetValue("FXSSigBeep", 0), "1");  // shares the byte, was not chosen
    EXPECT_EQ(result->GetValue("SMSText", 0), "short");
    EXPECT_EQ(result->GetValue("FXSNumBegin", 7), "");
    EXPECT_EQ(result->GetValue("FXSNumBegin", 8), "99");
    EXPECT_EQ(result->GetValue("FXSVolRec", 0), "3");
    EXPECT_EQ(image[1500], 0x5A);
    // The used-entry bits follow the chosen numbers: entry 7 gone, entry 8 there.
    EXPECT_EQ(image[BitmapFXS + 0], 0x00);
    EXPECT_EQ(image[BitmapFXS + 1], 0x01);
    // Nothing outside the chosen fields and the bitmap moved.
    for (int i = 0; i < ImageSize; ++i) {
        const bool field = i == 0 || (i >= 520 && i < 520 + 41) || (i >= 4096 + 7 * 24 && i < 4096 + 9 * 24) ||
                           (i >= BitmapFXS && i < BitmapFXS + BitmapSize);
        if (!field) {
            ASSERT_EQ(image[size_t(i)], before[size_t(i)]) << "byte " << i;
        }
    }
}

TEST(CompareKeptCopies, StayInTheirFolderForTheirOwnerAndAreKeptOnce)
{
    QTemporaryDir root;
    const CKeptCopies copies(root.path());
    auto p = Defaults();
    p->SetValue("SerialNum", 0, "../../evil/..");
    std::vector<uint8_t> image = GatewayImage(*p);
    const auto first = copies.Keep(image, *p);
    ASSERT_TRUE(first.ok) << first.reason.toStdString();
    EXPECT_TRUE(first.kept);
    EXPECT_TRUE(first.folder.startsWith(root.path() + "/___.._evil_../")) << first.folder.toStdString();
    EXPECT_EQ(QFileInfo(first.folder).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    const auto again = copies.Keep(image, *p);
    EXPECT_TRUE(again.ok);
    EXPECT_FALSE(again.kept);
    EXPECT_EQ(again.folder, first.folder);
    image[40] ^= 1;
    const auto second = copies.Keep(image, *p);
    EXPECT_TRUE(second.kept);
    const std::vector<TKeptCopy> listed = copies.List("../../evil/..");
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].folder, second.folder);  // newest first
    EXPECT_EQ(listed[0].serial, "../../evil/..");
    EXPECT_TRUE(copies.List("other").empty());

    // A gateway without a serial number has copies of its own, though its image
    // is the same as another gateway's newest.
    p->SetValue("SerialNum", 0, "");
    const auto unnamed = copies.Keep(image, *p);
    ASSERT_TRUE(unnamed.kept);
    EXPECT_TRUE(unnamed.folder.startsWith(root.path() + "/unknown/")) << unnamed.folder.toStdString();
    // A copy whose file cannot be read names no serial number, not another copy's.
    QFile broken(QDir(unnamed.folder).filePath("configuration.kvx"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.close();
    int found = 0;
    for (const TKeptCopy& c : copies.List())
        if (c.folder == unnamed.folder) {
            ++found;
            EXPECT_EQ(c.serial, "");
        }
    EXPECT_EQ(found, 1);
    EXPECT_EQ(CKeptCopies::FolderName(""), "unknown");
    EXPECT_EQ(CKeptCopies::FolderName(".."), "__");
    EXPECT_EQ(CKeptCopies::FolderName("KX2-004711"), "KX2-004711");
}

// ---------------------------------------------------------------- captions from the pages

TEST_F(Compare, EverySettingInFilesHasTheCaptionItsPageShows)
{
    const CCaptions& captions = Dialog().Captions();
    for (const auto& [key, rc] : Parameters().Entries()) {
        if (!rc.Par->m_InFile) continue;
        const CCaptions::TCaption* c = captions.Find(key);
        ASSERT_NE(c, nullptr) << key;
        EXPECT_FALSE(c->path.empty()) << key;
        EXPECT_NE(captions.Caption(key), QString::fromStdString(key)) << key;
    }
    // Context: the tab and group a setting sits in, then its label.
    EXPECT_EQ(captions.Caption("FXSDialToneF2"),
              QString("%1 \u203A %2 \u203A %3 \u203A %4").arg(Text(214), Text(162), Text(166), Text(169)));
    EXPECT_EQ(
        captions.Caption("FXODialToneF2").toStdString(),
        QString("%1 \u203A %2 \u203A %3 \u203A %4").arg(Text(215), Text(162), Text(166), Text(190)).toStdString());
    EXPECT_EQ(captions.Caption("GSMDirection"), Text(213) + " \u203A " + Text(226));
    EXPECT_EQ(captions.Caption("FXSDefAdd"), Text(211) + " \u203A " + Text(31) + " \u203A " + Text(30));
    EXPECT_EQ(captions.Caption("ModemNum3"), Text(260) + " \u203A " + Text(261) + " 3.");
    EXPECT_EQ(captions.Caption("COMPerm"), Text(84));

    // Values as the page shows them: list items by text, tick boxes (one inverted), memos.
    EXPECT_EQ(captions.Show("FXSAlertFrekv", "25"), Language().Item(164, 1));
    EXPECT_EQ(captions.Show("FXSDirection", "3"), Language().Item(216, 3));
    EXPECT_EQ(captions.Show("GSMDefDirection", "4"), Language().Item(226, 4));
    EXPECT_EQ(captions.Show("FXSSigCall", "1"), Text(401));
    EXPECT_EQ(captions.Show("FXSSigBeep", "1"), Text(402));  // ticked means no beep
    EXPECT_EQ(captions.Show("SMSText", "a\r\nb"), "a \u21B5 b");
    EXPECT_EQ(captions.Show("FXSNumBegin", ""), Text(403));
    EXPECT_EQ(captions.Show("FXSHangMin", "700"), "700");
    // The shown page keeps its own bindings.
    main->SelectPage(0);
    const size_t bound = Bindings().ControlCount();
    QTimer::singleShot(0, &Dialog(), &QDialog::accept);
    Dialog().Run();
    EXPECT_EQ(Bindings().ControlCount(), bound);
    // The security page, which hides itself when it is stored, stays in view.
    main->SelectPage(6);
    QTimer::singleShot(0, &Dialog(), &QDialog::accept);
    Dialog().Run();
    EXPECT_FALSE(main->CurrentPage()->isHidden());
    QTimer::singleShot(0, main->FRestoreDialog, &QDialog::reject);
    main->FRestoreDialog->Run();
    EXPECT_FALSE(main->CurrentPage()->isHidden());
}

// ---------------------------------------------------------------- the dialog

TEST_F(Compare, ComparesWithTheDefaultsAFileAndTheGateway)
{
    Parameters().SetValue("FXSVolRec", 0, "1");
    Parameters().SetValue("FXSDirection", 4, "2");
    Parameters().SetValue("FXSAlertFrekv", 0, "25");
    TFCompareDialog& d = Dialog();

    ASSERT_TRUE(d.CompareWith(TFCompareDialog::TSource::Defaults));
    EXPECT_EQ(d.DifferenceCount(), 3);
    EXPECT_EQ(d.Differences->headerItem()->text(3), Text(398));
    EXPECT_EQ(d.Counts->text(), Substitute(Text(399), {"3", "2740"}));
    const QStringList direction = Row(RowOf("FXSDirection"));
    EXPECT_EQ(direction[1], "5");
    EXPECT_EQ(direction[2], Language().Item(216, 2));
    EXPECT_EQ(direction[3], Language().Item(216, 0));
    EXPECT_EQ(Row(RowOf("FXSAlertFrekv"))[2], Language().Item(164, 1));
    EXPECT_TRUE(Row(RowOf("FXSVolRec"))[1].isEmpty());
    EXPECT_FALSE(d.WriteButton->isVisible() && d.WriteButton->isEnabled());  // nothing to write to a file

    // A file that agrees on the volume.
    auto file = Defaults();
    file->SetValue("FXSVolRec", 0, "1");
    const QString path = copies.filePath("other.kvx");
    ASSERT_TRUE(file->SaveToFile(path.toStdString()));
    ASSERT_TRUE(d.CompareWith(TFCompareDialog::TSource::File, path));
    EXPECT_EQ(d.DifferenceCount(), 2);
    EXPECT_EQ(d.Differences->headerItem()->text(3), Text(397));
    EXPECT_TRUE(d.Counts->text().contains(QDir::toNativeSeparators(path))) << d.Counts->text().toStdString();
    EXPECT_EQ(RowOf("FXSVolRec"), -1);
    prompts->openPath.clear();
    EXPECT_FALSE(d.CompareWith(TFCompareDialog::TSource::File));  // choice cancelled: the comparison stays
    EXPECT_EQ(d.DifferenceCount(), 2);

    // The gateway, read without touching the window's configuration.
    const auto before = Parameters().Snapshot();
    ASSERT_TRUE(d.CompareWith(TFCompareDialog::TSource::Gateway));
    EXPECT_EQ(Parameters().Snapshot(), before);
    EXPECT_EQ(d.Differences->headerItem()->text(3), Text(396));
    EXPECT_EQ(d.DifferenceCount(), 3);
    EXPECT_EQ(d.Differences->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_TRUE(d.WriteButton->isEnabled());
}

TEST_F(Compare, WriteSelectedSendsOnlyTheTickedDifferences)
{
    Parameters().SetValue("FXSVolRec", 0, "1");
    Parameters().SetValue("GSMNum", 9, "+420600");
    Parameters().SetValue("SMSText", 0, "not this");
    TFCompareDialog& d = Dialog();
    ASSERT_TRUE(d.CompareWith(TFCompareDialog::TSource::Gateway));
    ASSERT_EQ(d.DifferenceCount(), 3);
    d.Differences->topLevelItem(RowOf("SMSText"))->setCheckState(0, Qt::Unchecked);
    const std::vector<uint8_t> before = sim->Image();
    d.WriteClick();
    EXPECT_EQ(LastMessage(), Text(114));

    auto gateway = Defaults();
    gateway->FromImage(sim->Image().data());
    EXPECT_EQ(gateway->GetValue("FXSVolRec", 0), "1");
    EXPECT_EQ(gateway->GetValue("GSMNum", 9), "+420600");
    EXPECT_EQ(gateway->GetValue("SMSText", 0), "");
    // Only the unticked difference is left, compared with what the gateway now holds.
    ASSERT_EQ(d.DifferenceCount(), 1);
    ASSERT_NE(RowOf("SMSText"), -1);
    // The user left it out: a second press must not write it.
    EXPECT_EQ(d.Differences->topLevelItem(RowOf("SMSText"))->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(d.WriteButton->isEnabled());
    // Byte by byte: the two fields, one used-entry bit and the checksums.
    std::vector<int> changed;
    const std::vector<uint8_t> after = sim->Image();
    for (int i = 0; i < ImageSize; ++i)
        if (after[size_t(i)] != before[size_t(i)]) changed.push_back(i);
    for (int i : changed)
        EXPECT_TRUE(i == 33 || (i >= 9616 + 9 * 21 && i < 9616 + 9 * 21 + 8) || i == BitmapGSM + 1 || i == 2046 ||
                    i == 2047 || i == 12286 || i == 12287)
            << "byte " << i;
}

TEST_F(Compare, AGatewayChangedSinceTheComparisonIsNotWritten)
{
    Parameters().SetValue("FXSVolRec", 0, "1");
    TFCompareDialog& d = Dialog();
    ASSERT_TRUE(d.CompareWith(TFCompareDialog::TSource::Gateway));
    auto other = Defaults();
    other->SetValue("FXSVolSend", 0, "5");  // someone else wrote meanwhile
    sim->SetImage(GatewayImage(*other));
    d.WriteClick();
    EXPECT_EQ(LastMessage(), Text(404));
    EXPECT_EQ(sim->WriteCommands(), 0);
    EXPECT_EQ(sim->Image(), GatewayImage(*other));
}

TEST_F(Compare, RestoreLoadsAKeptCopyIntoTheWindow)
{
    auto old = Defaults();
    old->SetValue("FXSVolRec", 0, "2");
    old->SetValue("FXONumBegin", 3, "55");
    sim->SetImage(GatewayImage(*old));
    Parameters().SetValue("FXSVolRec", 0, "4");
    ASSERT_TRUE(main->m_Ops.WriteToGateway());

    TFRestoreDialog& r = *main->FRestoreDialog;
    r.Fill(copies.path());
    ASSERT_EQ(r.Copies().size(), 1u);
    EXPECT_EQ(r.Copies()[0].serial, "KX2-004711");
    EXPECT_EQ(r.Copies()[0].firmware, "3.15");
    const QTreeWidgetItem* item = r.CopyList->topLevelItem(0);
    EXPECT_EQ(item->text(1), "KX2-004711");
    EXPECT_EQ(item->text(3), "2");  // the volume and the FXO number differ from the window

    main->m_Ops.PinChanged = true;
    ASSERT_TRUE(r.LoadClick());
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "2");
    EXPECT_EQ(Parameters().GetValue("FXONumBegin", 3), "55");
    EXPECT_EQ(Parameters().GetValue("SerialNum", 0), "KX2-004711");
    EXPECT_FALSE(main->m_Ops.PinChanged);     // a copy, like a file, never carries the PIN
    EXPECT_TRUE(main->FileName().isEmpty());  // saving must not overwrite the copy

    // A copy whose configuration lost its last lines is damaged: no count of
    // differences, and loaded only after a question whose default is No.
    QFile cut(r.Copies()[0].ConfigurationFile());
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(cut.size() - 200));
    cut.close();
    r.Fill(copies.path());
    EXPECT_EQ(r.CopyList->topLevelItem(0)->text(3), Text(500));
    Parameters().SetValue("FXSVolRec", 0, "4");
    prompts->answers = {false};
    const size_t asked = prompts->presets.size();
    EXPECT_FALSE(r.LoadClick());
    ASSERT_EQ(prompts->presets.size(), asked + 1);
    EXPECT_EQ(prompts->presets.back(), TDefaultAnswer::No);
    EXPECT_TRUE(prompts->asked.back().contains("configuration.kvx")) << prompts->asked.back().toStdString();
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "4");
    prompts->answers = {true};
    EXPECT_TRUE(r.LoadClick());
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "2");

    QTemporaryDir empty;
    r.Fill(empty.path());
    EXPECT_EQ(r.CopyList->topLevelItemCount(), 0);
    EXPECT_EQ(r.Summary->text(), Substitute(Text(412), {QDir::toNativeSeparators(empty.path())}));
    EXPECT_FALSE(r.LoadClick());
}
