#include "Commonutils.h"
#include "Comterminal.h"
#include "Language.h"
#include "apptest.h"

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

namespace {
struct Ops : AppFixture {
    // The link error that opening the port raises.
    CCOMTermExp OpenFailure(const QString& device)
    {
        try {
            Terminal().Connect(device, 19200);
        } catch (const CCOMTermExp& e) {
            return e;
        }
        ADD_FAILURE() << "opened " << device.toStdString();
        return CCOMTermExp(CE_NOT_CONNECTED);
    }
    QTemporaryDir dir;
};
}  // namespace

TEST_F(Ops, APortThatCannotBeOpenedSaysWhichAndWhy)
{
    StartApp();
    struct {
        QString device;
        int error;
        int hint;
    } cases[] = {
        {dir.filePath("ttyUSB9"), ENOENT, 319},  // unplugged adapter
        {dir.path(), EISDIR, 318},               // a folder
        {QString(), ENOTTY, 318},                // a plain file, filled in below
    };
    const QString plain = dir.filePath("plain");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    cases[2].device = plain;
    for (const auto& c : cases) {
        const CCOMTermExp e = OpenFailure(c.device);
        EXPECT_EQ(e.Code, CE_OPEN_ERROR);
        EXPECT_EQ(e.Device, c.device.toStdString());
        EXPECT_EQ(e.SystemError, c.error) << c.device.toStdString();
        prompts->shown.clear();
        main->m_Ops.ShowLinkError(e);
        ASSERT_EQ(prompts->shown.size(), 1u);
        const QString shown = prompts->shown[0].text;
        EXPECT_TRUE(shown.startsWith(Text(125)));
        EXPECT_TRUE(shown.contains(Substitute(Text(315), {c.device, QString::fromLocal8Bit(std::strerror(c.error))})))
            << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(Text(c.hint))) << shown.toStdString();
        EXPECT_EQ(main->m_Ops.Outcome, TOutcome::Link);
        EXPECT_EQ(main->m_Ops.LinkCode, CE_OPEN_ERROR);
    }

    // A port another program holds is busy, not missing.
    TComm holder;
    holder.SetDeviceName(port);
    holder.Open();
    const CCOMTermExp busy = OpenFailure(port);
    EXPECT_EQ(busy.SystemError, EBUSY);
    main->m_Ops.ShowLinkError(busy);
    EXPECT_TRUE(LastMessage().endsWith(Text(317)));
    holder.Close();

    // Permission cannot be taken away from the test's user; the hint names the
    // group that owns the device.
    CCOMTermExp denied(CE_OPEN_ERROR);
    denied.Device = "/dev/null";
    denied.SystemError = EACCES;
    denied.Detail = std::strerror(EACCES);
    main->m_Ops.ShowLinkError(denied);
    EXPECT_TRUE(LastMessage().endsWith(Substitute(Text(316), {"root"}))) << LastMessage().toStdString();
}
