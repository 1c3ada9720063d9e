#include "Language.h"
#include "Appsettings.h"
#include "apptest.h"
#include "Catalogue.h"
#include "Commonutils.h"
#include "Gatewaysim.h"
#include "Parametry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray Contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void Put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList Entries(const QString& dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

int g_Calls = 0;
long HalfThenFull(int fd, const void* data, unsigned long size)
{
    if (g_Calls++ == 0) return long(::write(fd, data, size / 2));
    errno = ENOSPC;
    return -1;
}
long WritesNothing(int, const void*, unsigned long) { return 0; }
}  // namespace

TEST(Files, AFailingWriteKeepsThePreviousFileAndSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.kvx");
    Put(path, "FXSVolRec=\"2\"\n");
    const QByteArray text(5000, 'x');
    for (TWriteCall call : {&HalfThenFull, &WritesNothing}) {
        g_Calls = 0;
        TFileStatus status;
        EXPECT_FALSE(WriteFileAtomically(path, text, &status, call));
        EXPECT_EQ(status.Kind, TFileStatus::NoSpace);
        EXPECT_EQ(status.Reason, "no space left on the device");
        EXPECT_EQ(Contents(path), "FXSVolRec=\"2\"\n");
        EXPECT_EQ(Entries(dir.path()), QStringList{"keep.kvx"}) << "no temporary file left behind";
    }
    TFileStatus status;
    ASSERT_TRUE(WriteFileAtomically(path, text, &status));
    EXPECT_TRUE(status.IsOk());
    EXPECT_EQ(Contents(path), text);
}

TEST(Files, OnlyRegularFilesAreReplaced)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    TFileStatus status;
    EXPECT_FALSE(WriteFileAtomically(fifo, "x", &status));
    EXPECT_EQ(status.Kind, TFileStatus::NotRegular);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced by a file";
    EXPECT_FALSE(WriteFileAtomically(dir.path(), "x", &status));
    EXPECT_EQ(status.Kind, TFileStatus::Folder);
    EXPECT_FALSE(WriteFileAtomically(dir.filePath("no/such/folder/x.kvx"), "x", &status));
    EXPECT_EQ(status.Kind, TFileStatus::NoFolder);
    EXPECT_EQ(status.Reason, "the folder does not exist");
}

TEST(Files, TheBoundedReaderStopsAtItsLimit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.bin");
    Put(path, QByteArray(100, 'a'));
    QByteArray bytes;
    TFileStatus status;
    ASSERT_TRUE(ReadFileBounded(path, 100, bytes, &status));
    EXPECT_EQ(bytes.size(), 100);
    EXPECT_FALSE(ReadFileBounded(path, 99, bytes, &status));
    EXPECT_EQ(status.Kind, TFileStatus::TooLarge);
    EXPECT_EQ(status.Reason, "too large (100 bytes, at most 99)");
    EXPECT_TRUE(bytes.isEmpty());
    // A file the system reports as empty but that reads on is cut off all the same.
    if (QFile::exists("/proc/self/environ")) {
        EXPECT_FALSE(ReadFileBounded("/proc/self/environ", 1, bytes, &status));
        EXPECT_EQ(status.Kind, TFileStatus::TooLarge);
    }
    if (geteuid() != 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
        EXPECT_FALSE(ReadFileBounded(path, 100, bytes, &status));
        EXPECT_EQ(status.Kind, TFileStatus::Permission);
    }
}

TEST(Files, StoredWindowPlaceIsFittedToTheScreen)
{
    TAppSettings s;
    const std::vector<QRect> screens{QRect(0, 0, 1280, 1000), QRect(1280, 0, 1920, 1080)};
    s.Left = 100, s.Top = 50, s.Width = 891, s.Height = 715;
    EXPECT_EQ(s.Placement(screens), QRect(100, 50, 891, 715));
    s.Left = 3000, s.Top = 900;  // hanging off the right screen
    EXPECT_EQ(s.Placement(screens), QRect(1280 + 1920 - 891, 1080 - 715, 891, 715));
    s.Left = -5000, s.Top = -5000;  // on no screen: the first one
    EXPECT_EQ(s.Placement(screens), QRect(0, 0, 891, 715));
    s.Left = 10, s.Top = 10, s.Width = 4000, s.Height = 3000;  // larger than any screen: the one it covers most
    EXPECT_EQ(s.Placement(screens), QRect(1280, 0, 1920, 1080));
    s.Width = 1000, s.Height = 3000;
    EXPECT_EQ(s.Placement(screens), QRect(10, 0, 1000, 1000));
    s.Width = s.Height = 10;
    EXPECT_EQ(s.Placement(screens, 400, 300).size(), QSize(400, 300));
}

// A real full file system: a small tmpfs, which needs root (as in CI).
struct FullDisk : ::testing::Test {
    void SetUp() override
    {
        if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
        ASSERT_TRUE(dir.isValid());
        if (::mount("kvxtest", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override
    {
        if (mounted) ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    void Fill()
    {
        QFile f(dir.filePath("filler"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray chunk(4096, 'f');
        while (f.write(chunk) == chunk.size()) {
        }
    }
    QString Path(const char* name) const { return dir.filePath(name); }
    int RunCli(const QStringList& args, QString& err)
    {
        QProcess p;
        p.start(QCoreApplication::applicationDirPath() + "/korvanext-cli", args);
        p.waitForFinished(30000);
        err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    }
    QTemporaryDir dir;
    bool mounted = false;
};

TEST_F(FullDisk, EveryWriterFailsWithoutDamage)
{
    CParameters p;
    BuildCatalogue(p);
    Put(Path("keep.kvx"), "FXSVolRec=\"2\"\n");
    Put(Path("KorvanextWin.ini"), "[Settings]\nCom=Com3\n");
    Fill();
    TFileStatus status;
    EXPECT_FALSE(p.SaveToFile(Path("keep.kvx").toStdString(), status));
    EXPECT_EQ(status.Kind, TFileStatus::NoSpace);
    EXPECT_EQ(Contents(Path("keep.kvx")), "FXSVolRec=\"2\"\n");
    EXPECT_FALSE(p.SaveToFile(Path("new.kvx").toStdString()));
    TAppSettings settings;
    settings.Com = "Com4";
    EXPECT_FALSE(settings.Write(Path("KorvanextWin.ini"), &status));
    EXPECT_EQ(status.Kind, TFileStatus::NoSpace);
    EXPECT_EQ(Contents(Path("KorvanextWin.ini")), "[Settings]\nCom=Com3\n");

    QString err;
    EXPECT_EQ(RunCli({"defaults", Path("cli.kvx")}, err), 2);
    EXPECT_TRUE(err.contains("cannot write '" + Path("cli.kvx") + "': no space left on the device")) << err.toStdString();
    QDir(dir.path()).remove("filler");
    EXPECT_EQ(RunCli({"defaults", Path("cli.kvx")}, err), 0) << err.toStdString();
    EXPECT_EQ(RunCli({"encode", Path("cli.kvx"), Path("cli.bin")}, err), 0) << err.toStdString();
    Fill();
    EXPECT_EQ(RunCli({"encode", Path("cli.kvx"), Path("cli.bin")}, err), 2);
    EXPECT_EQ(QFile(Path("cli.bin")).size(), 12288) << "the previous image is intact";
    EXPECT_EQ(Entries(dir.path()), (QStringList{"KorvanextWin.ini", "cli.bin", "cli.kvx", "filler", "keep.kvx"}));
}

TEST(LanguageFiles, AnIndexBeyondWhatTheProgramUsesIsRefused)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    CLanguage lang;
    EXPECT_FALSE(lang.Init(folder, nullptr, nullptr));
    EXPECT_EQ(lang.Problem(), "No language could be loaded from '" + folder + "': L_Init.ini: no such file");
    // A damaged index must not allocate two thousand million texts.
    Put(folder + "L_Init.ini", "[Settings]\nNumberOfLang=1\nNumberOfWords=2000000000\n[Lang0]\nFile=Eng.ini\nId=Eng\n");
    EXPECT_FALSE(lang.Init(folder, nullptr, nullptr));
    EXPECT_EQ(lang.LanguageCount(), 0);
    EXPECT_EQ(lang.WordCount(), 0);
    EXPECT_TRUE(lang.Problem().contains("2000000000 words")) << lang.Problem().toStdString();
    Put(folder + "L_Init.ini", "[Settings]\nNumberOfLang=101\nNumberOfWords=420\n");
    EXPECT_FALSE(lang.Init(folder, nullptr, nullptr));
    EXPECT_EQ(lang.LanguageCount(), 0);
    Put(folder + "L_Init.ini", "[Settings]\nNumberOfLang=1\nNumberOfWords=420\n[Lang0]\nFile=Eng.ini\nId=Eng\n");
    ASSERT_TRUE(lang.Init(folder, nullptr, nullptr));
    EXPECT_TRUE(lang.Problem().isEmpty());
    EXPECT_FALSE(lang.LoadLanguage(0));
    EXPECT_TRUE(lang.Problem().contains(folder + "Eng.ini': no such file")) << lang.Problem().toStdString();
    ASSERT_TRUE(QFile::copy(ProgramFolder() + "Eng.ini", folder + "Eng.ini"));
    EXPECT_TRUE(lang.LoadLanguage(0));
    EXPECT_TRUE(lang.Problem().isEmpty());
}

namespace {
struct WindowFiles : AppFixture {
    void SetUp() override { StartApp(); }
};
}  // namespace

TEST_F(WindowFiles, LoadAndSaveSayWhyAndKeepTheRegistry)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty.kvx");
    Put(empty, "");
    Parameters().SetValue("FXSVolRec", 0, "1");
    prompts->openPath = empty;
    main->EzRgnBtn4Click();
    EXPECT_EQ(LastMessage(), Text(130) + "\n'" + empty + "'\n" + Text(311));
    EXPECT_EQ(prompts->shown.back().icon, TIcon::Error);
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "1");

    const QString old = dir.filePath("old.kvx");
    Put(old, "FXSVolRec=\"2\"\nRetired=\"1\"\nGone=\"2\"\n");
    prompts->openPath = old;
    main->EzRgnBtn4Click();
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "2");
    // The keys it did not know, and then those it left at their defaults.
    EXPECT_TRUE(LastMessage().startsWith(Substitute(Text(313), {"2", "Retired, Gone"}) + "\n\n" + Text(487)));
    EXPECT_EQ(prompts->shown.back().icon, TIcon::Warning);

    prompts->savePath = dir.path();
    main->EzRgnBtn5Click();
    EXPECT_EQ(LastMessage(), Text(129) + "\n'" + dir.path() + "'\n" + Text(308));
}

TEST(SimulatorLink, OnlyItsOwnLinkIsReplacedOrRemoved)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("mine.txt");
    Put(file, "keep me");
    QDir().mkpath(dir.filePath("folder"));
    for (const QString& path : {file, dir.filePath("folder")}) {
        QProcess p;
        p.start(QCoreApplication::applicationDirPath() + "/korvanext-gatewaysim", {"--link", path});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("left as it is")) << path.toStdString();
    }
    EXPECT_EQ(Contents(file), "keep me");
    EXPECT_TRUE(QFileInfo(dir.filePath("folder")).isDir());

    // A link an earlier run left behind is ours to replace; at the end ours goes.
    const QString link = dir.filePath("gateway");
    ASSERT_TRUE(QFile::link("/dev/pts/9999", link));
    TSimOptions o;
    o.linkPath = link.toStdString();
    {
        CGatewaySim sim(o);
        std::string error;
        ASSERT_TRUE(sim.Start(&error)) << error;
        EXPECT_EQ(QFile::symLinkTarget(link), QString::fromStdString(sim.SlavePath()));
        sim.Stop();
        EXPECT_FALSE(QFileInfo(link).isSymLink());
    }
    // A file put in its place meanwhile stays.
    {
        CGatewaySim sim(o);
        ASSERT_TRUE(sim.Start());
        ASSERT_TRUE(QFile::remove(link));
        Put(link, "the user's");
        sim.Stop();
        EXPECT_EQ(Contents(link), "the user's");
    }
    o.linkPath = file.toStdString();
    CGatewaySim refused(o);
    std::string error;
    EXPECT_FALSE(refused.Start(&error));
    EXPECT_EQ(Contents(file), "keep me");
}
