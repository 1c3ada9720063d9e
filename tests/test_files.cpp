#include "Appsettings.h"
#include "Catalogue.h"
#include "Dialing.h"
#include "Hayesmodem.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Gatewaysim.h"
#include "Globals.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Parameters.h"
#include "Uucplock.h"
#include "apptest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
struct FilesFullDisk : ::testing::Test {
    void SetUp() override
    {
        if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
        ASSERT_TRUE(dir.isValid());
        if (::mount("kvxtest", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") !=
            0)
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
        while (f.write(chunk) == chunk.size()) {}
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

TEST_F(FilesFullDisk, EveryWriterFailsWithoutDamage)
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
    EXPECT_TRUE(err.contains("cannot write '" + Path("cli.kvx") + "': no space left on the device"))
        << err.toStdString();
    QDir(dir.path()).remove("filler");
    EXPECT_EQ(RunCli({"defaults", Path("cli.kvx")}, err), 0) << err.toStdString();
    EXPECT_EQ(RunCli({"encode", Path("cli.kvx"), Path("cli.bin")}, err), 0) << err.toStdString();
    Fill();
    EXPECT_EQ(RunCli({"encode", Path("cli.kvx"), Path("cli.bin")}, err), 2);
    EXPECT_EQ(QFile(Path("cli.bin")).size(), 12288) << "the previous image is intact";
    EXPECT_EQ(Entries(dir.path()), (QStringList{"KorvanextWin.ini", "cli.bin", "cli.kvx", "filler", "keep.kvx"}));
}

TEST(FilesLanguageFiles, AnIndexBeyondWhatTheProgramUsesIsRefused)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    CLanguage lang;
    EXPECT_FALSE(lang.Init(folder));
    EXPECT_EQ(lang.Problem(), "No language could be loaded from '" + folder + "': L_Init.ini: no such file");
    // A damaged index must not allocate two thousand million texts.
    Put(folder + "L_Init.ini", "[Settings]\nNumberOfLang=1\nNumberOfWords=2000000000\n[Lang0]\nFile=Eng.ini\nId=Eng\n");
    EXPECT_FALSE(lang.Init(folder));
    EXPECT_EQ(lang.LanguageCount(), 0);
    EXPECT_EQ(lang.WordCount(), 0);
    EXPECT_TRUE(lang.Problem().contains("2000000000 words")) << lang.Problem().toStdString();
    Put(folder + "L_Init.ini", "[Settings]\nNumberOfLang=101\nNumberOfWords=420\n");
    EXPECT_FALSE(lang.Init(folder));
    EXPECT_EQ(lang.LanguageCount(), 0);
    Put(folder + "L_Init.ini", "[Settings]\nNumberOfLang=1\nNumberOfWords=420\n[Lang0]\nFile=Eng.ini\nId=Eng\n");
    ASSERT_TRUE(lang.Init(folder));
    EXPECT_TRUE(lang.Problem().isEmpty());
    EXPECT_FALSE(lang.LoadLanguage(0));
    EXPECT_TRUE(lang.Problem().contains(folder + "Eng.ini': no such file")) << lang.Problem().toStdString();
    ASSERT_TRUE(QFile::copy(ProgramFolder() + "Eng.ini", folder + "Eng.ini"));
    EXPECT_TRUE(lang.LoadLanguage(0));
    EXPECT_TRUE(lang.Problem().isEmpty());
}

namespace {
struct FilesWindowFiles : AppFixture {
    void SetUp() override { StartApp(); }
};
}  // namespace

TEST_F(FilesWindowFiles, LoadAndSaveSayWhyAndKeepTheRegistry)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty.kvx");
    Put(empty, "");
    Parameters().SetValue("FXSVolRec", 0, "1");
    prompts->openPath = empty;
    main->LoadClick();
    EXPECT_EQ(LastMessage(), Text(130) + "\n'" + empty + "'\n" + Text(311));
    EXPECT_EQ(prompts->shown.back().icon, TIcon::Error);
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "1");

    const QString old = dir.filePath("old.kvx");
    Put(old, "FXSVolRec=\"2\"\nRetired=\"1\"\nGone=\"2\"\n");
    prompts->openPath = old;
    main->LoadClick();
    EXPECT_EQ(Parameters().GetValue("FXSVolRec", 0), "2");
    // The keys it did not know, and then those it left at their defaults.
    EXPECT_TRUE(LastMessage().startsWith(Substitute(Text(313), {"2", "Retired, Gone"}) + "\n\n" + Text(487)));
    EXPECT_EQ(prompts->shown.back().icon, TIcon::Warning);

    prompts->savePath = dir.path();
    main->SaveAsClick();
    EXPECT_EQ(LastMessage(), Text(129) + "\n'" + dir.path() + "'\n" + Text(308));
}

TEST(FilesSimulatorLink, OnlyItsOwnLinkIsReplacedOrRemoved)
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

// ---------------------------------------------------------------- shared with other users and programs
// Nothing written through a link or over another file, kept copies only in the
// user's own folders and trusted only whole, locks of other programs respected.

namespace {
unsigned Mode(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0xFFFFu;
}

std::unique_ptr<CParameters> Gateway(const char* serial)
{
    auto p = std::make_unique<CParameters>();
    BuildCatalogue(*p);
    p->SetValue("SerialNum", 0, serial);
    p->SetValue("SWVer", 0, "3.15");
    p->SetValue("FXSVolRec", 0, "2");
    return p;
}

// A process number that is surely not running: a child that has ended.
pid_t EndedProcess()
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}
}  // namespace

TEST(FilesShownText, ControlCharactersOfGatewaysAndFilesAreShownNotObeyed)
{
    EXPECT_EQ(ShownText("KX\x1b]0;owned\a\nserial\tx\x7f"), "KX\\x1b]0;owned\\x07\\x0aserial\\x09x\\x7f");
    EXPECT_EQ(ShownText(QString::fromUtf8("Brána \xc2\x9b"
                                          "2J")),
              QString::fromUtf8("Brána \\x9b2J"));
    EXPECT_EQ(ShownText("C:\\path 'ok'"), "C:\\path 'ok'");
}

TEST(FilesCreateFileExclusively, NeverReplacesNorFollowsWhatIsThere)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("KX.kvx");
    TFileStatus status;
    ASSERT_TRUE(CreateFileExclusively(file, "first", 0600, &status)) << status.Reason.toStdString();
    EXPECT_EQ(Mode(file), 0600u);
    EXPECT_FALSE(CreateFileExclusively(file, "second", 0600, &status));
    EXPECT_EQ(status.Kind, TFileStatus::Exists);
    EXPECT_EQ(Contents(file), "first");

    // A link planted at the name, to a file or to nowhere, is not written through.
    const QString victim = dir.filePath("victim");
    Put(victim, "keep");
    ASSERT_TRUE(QFile::link(victim, dir.filePath("link.kvx")));
    ASSERT_TRUE(QFile::link(dir.filePath("absent"), dir.filePath("dangling.kvx")));
    EXPECT_FALSE(CreateFileExclusively(dir.filePath("link.kvx"), "evil", 0644, &status));
    EXPECT_EQ(status.Kind, TFileStatus::Exists);
    EXPECT_FALSE(CreateFileExclusively(dir.filePath("dangling.kvx"), "evil", 0644, &status));
    EXPECT_EQ(Contents(victim), "keep");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("absent")));
    // No temporary file is left behind, and a missing folder is said as such.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 4);
    EXPECT_FALSE(CreateFileExclusively(dir.filePath("none/KX.kvx"), "x", 0600, &status));
    EXPECT_EQ(status.Kind, TFileStatus::NoFolder);
}

TEST(FilesUucpLock, ALiveLockOfAnotherProcessRefusesThePortAStaleOneDoesNot)
{
    QTemporaryDir locks;
    const QString device = "/dev/ttyKVX7";
    const QString file = locks.filePath("LCK..ttyKVX7");
    pid_t holder = 0;
    {
        // Another live process (init) holds the port by the convention.
        Put(file, "         1\n");
        TUucpLock lock({locks.path()});
        EXPECT_FALSE(lock.Acquire(device, holder));
        EXPECT_EQ(holder, 1);
        EXPECT_EQ(UucpLockOwner(device, {locks.path()}), 1);
        lock.Release();
        EXPECT_EQ(Contents(file), "         1\n");  // never removed by anyone but its owner
    }
    {
        // A lock left by a process that is gone is taken over.
        Put(file, QByteArray::number(EndedProcess()) + "\n");
        TUucpLock lock({locks.path()});
        ASSERT_TRUE(lock.Acquire(device, holder));
        EXPECT_EQ(lock.File(), file);
        EXPECT_EQ(ParseNumber(Contents(file).constData()), ::getpid());
        EXPECT_EQ(Contents(file).size(), 11);  // ten digits and a newline, as the convention writes them
        EXPECT_EQ(UucpLockOwner(device, {locks.path()}), ::getpid());
        TUucpLock second({locks.path()});  // this process's own lock does not keep it out
        EXPECT_TRUE(second.Acquire(device, holder));
        EXPECT_TRUE(second.File().isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(file));  // given back when the holder ends
    {
        // Where no lock can be written the port is still used.
        TUucpLock lock({locks.filePath("missing")});
        EXPECT_TRUE(lock.Acquire(device, holder));
        EXPECT_TRUE(lock.File().isEmpty());
    }
}

TEST(FilesKeptCopies, OnlyInTheUsersOwnFoldersAndPrivate)
{
    QTemporaryDir base;
    const auto p = Gateway("KX-9");
    const std::vector<uint8_t> image = GatewayImage(*p);

    // A link planted at the copies' folder or at a serial number's folder is refused, by name.
    const QString elsewhere = base.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, base.filePath("linked")));
    auto r = CKeptCopies(base.filePath("linked")).Keep(image, *p);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.folder, base.filePath("linked"));
    EXPECT_TRUE(r.reason.contains("link")) << r.reason.toStdString();
    const QString root = base.filePath("backups");
    ASSERT_TRUE(QDir().mkpath(root));
    ASSERT_TRUE(QFile::link(elsewhere, root + "/KX-9"));
    r = CKeptCopies(root).Keep(image, *p);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.folder, root + "/KX-9");
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    ASSERT_TRUE(QFile::remove(root + "/KX-9"));

    // Folders of earlier versions, open to others, are made private before a copy goes in.
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0755), 0);
    r = CKeptCopies(root).Keep(image, *p);
    ASSERT_TRUE(r.ok && r.kept) << r.reason.toStdString();
    EXPECT_EQ(Mode(root), 0700u);
    EXPECT_EQ(Mode(root + "/KX-9"), 0700u);
    EXPECT_EQ(Mode(r.folder), 0700u);
    EXPECT_EQ(Mode(r.folder + "/image.bin"), 0600u);
    EXPECT_EQ(Mode(r.folder + "/configuration.kvx"), 0600u);
    const auto listed = CKeptCopies(root).List();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_FALSE(listed[0].Damaged()) << listed[0].damage.toStdString();

    // A listing through a planted link lists nothing, and says why.
    ASSERT_TRUE(QFile::link(root, base.filePath("via")));
    EXPECT_TRUE(CKeptCopies(base.filePath("via")).List().empty());
    EXPECT_EQ(CKeptCopies(base.filePath("via")).RootProblem(), "it is a link, not a folder");
    EXPECT_TRUE(CKeptCopies(root).RootProblem().isEmpty());
    EXPECT_TRUE(CKeptCopies(base.filePath("none")).RootProblem().isEmpty());
}

// One gateway's image kept once, in a folder of its own.
class FilesKeptCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        first = copies.Keep(image, *p);
        ASSERT_TRUE(first.kept) << first.reason.toStdString();
    }
    QTemporaryDir root;
    const CKeptCopies copies{root.path()};
    const std::unique_ptr<CParameters> p = Gateway("KX-9");
    const std::vector<uint8_t> image = GatewayImage(*p);
    CKeptCopies::TResult first;
};

TEST_F(FilesKeptCopy, EachFileIsJudgedOnItsOwn)
{
    const QString file = first.folder + "/image.bin";
    auto damage = [&] {
        const auto listed = copies.List();
        return listed.empty() ? QString("none listed") : listed.front().damage;
    };

    // Open to others: the bytes may have been changed by anyone.
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
    EXPECT_EQ(damage(), "image.bin: others may use it (mode 0644)");
    // Not relied on: the same image is kept anew.
    const auto second = copies.Keep(image, *p);
    EXPECT_TRUE(second.ok && second.kept) << second.reason.toStdString();
    ASSERT_TRUE(QDir().rename(second.folder, root.filePath("elsewhere")));
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    EXPECT_EQ(damage(), "");

    // A link, even to a sound image of the user's own.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QFile::link(root.filePath("elsewhere/image.bin"), file));
    EXPECT_EQ(damage(), "image.bin: it is a link, not a file");

    if (::geteuid() != 0) GTEST_SKIP() << "another user's file needs root to make";
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QFile::copy(root.filePath("elsewhere/image.bin"), file));
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    EXPECT_EQ(damage(), "");
    ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
    EXPECT_EQ(damage(), "image.bin: it belongs to another user (65534)");
}

TEST_F(FilesKeptCopy, ACopyCountsOnlyWhenBothFilesLoadAndAgree)
{
    // The configuration cut short: listed as damaged, and the next write of the
    // same image keeps a sound copy of its own instead of relying on it.
    const QString config = first.folder + "/configuration.kvx";
    const QByteArray whole = Contents(config);
    Put(config, whole.left(whole.size() / 2));
    std::vector<TKeptCopy> listed = copies.List();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].Damaged());
    EXPECT_TRUE(listed[0].damage.contains("configuration.kvx")) << listed[0].damage.toStdString();
    const auto second = copies.Keep(image, *p);
    ASSERT_TRUE(second.ok);
    EXPECT_TRUE(second.kept);
    EXPECT_NE(second.folder, first.folder);

    // Whole files that disagree: the image no longer holds what the configuration says.
    std::vector<uint8_t> changed = image;
    changed[33] ^= 1;
    WriteChecksums(changed.data());
    Put(second.folder + "/image.bin", QByteArray(reinterpret_cast<const char*>(changed.data()), int(changed.size())));
    listed = copies.List();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].folder, second.folder);
    EXPECT_TRUE(listed[0].Damaged());
    EXPECT_EQ(listed[0].serial, "KX-9");  // what the configuration names is still shown

    // A copy dated in the future (a clock set wrong) is listed first but never
    // stands in for the gateway's present state.
    const auto third = copies.Keep(image, *p);
    ASSERT_TRUE(third.kept);
    const QString future = root.filePath("KX-9/2099-01-01T00-00-00.000Z");
    ASSERT_TRUE(QDir().rename(third.folder, future));
    EXPECT_EQ(copies.List().front().folder, future);
    const auto fourth = copies.Keep(image, *p);
    EXPECT_TRUE(fourth.kept);
    EXPECT_NE(fourth.folder, future);
    EXPECT_FALSE(copies.Keep(image, *p).kept);  // the sound newest one is reused
}

TEST(FilesAppSettings, ValuesComeBackAsTheyWereWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("KorvanextWin.ini");
    TAppSettings s;
    s.Com = QString::fromUtf8("\xef\xbb\xbf/dev/serial/by-id/usb-Ž ; x=1");
    s.ModemNumber = " \"0,,420 777\" ";
    s.ModemId = QString::fromUtf8("\xef\xbb\xbf\xef\xbb\xbfmodem [1]");
    s.ModemInit = "ATE0V1&D2 ; S0=0";
    s.KeepCopies = 0;
    s.ActLanguage = 3;
    // Two starts: what one start writes, the next reads and writes again.
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(s.Write(path));
        TAppSettings back;
        back.Read(path, 1280, 1024);
        EXPECT_EQ(back.Com, s.Com) << start;
        EXPECT_EQ(back.ModemNumber, s.ModemNumber) << start;
        EXPECT_EQ(back.ModemId, s.ModemId) << start;
        EXPECT_EQ(back.ModemInit, s.ModemInit) << start;
        EXPECT_EQ(back.KeepCopies, 0);
        EXPECT_EQ(back.ActLanguage, 3);
        s = back;
    }
    EXPECT_TRUE(TAppSettings::WriteProblem(path).isEmpty());
    EXPECT_TRUE(TAppSettings::WriteProblem(dir.filePath("new.ini")).isEmpty());
    ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.ini")));
    EXPECT_EQ(TAppSettings::WriteProblem(dir.filePath("folder.ini")), "it is a folder");
    EXPECT_FALSE(TAppSettings::WriteProblem(dir.filePath("missing/KorvanextWin.ini")).isEmpty());
}

TEST(FilesAppSettings, AFileThatCannotBeWrittenIsSaidInTheStatusBar)
{
    const QString path = SettingsFilePath();
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));  // a folder where the file belongs
    {
        TGlobalObjects globals;
        Terminal().SetTelephony(std::make_unique<CHayesTelephony>(std::vector<std::pair<QString, QString>>{}, false));
        TFMain main;
        const QString said = main.statusBar()->currentMessage();
        EXPECT_EQ(said, Substitute(Language().Text(502), {QDir::toNativeSeparators(path), "it is a folder"}));
        main.close();
    }
    ASSERT_TRUE(QDir(path).removeRecursively());
    {
        TGlobalObjects globals;
        Terminal().SetTelephony(std::make_unique<CHayesTelephony>(std::vector<std::pair<QString, QString>>{}, false));
        TFMain main;
        EXPECT_TRUE(main.statusBar()->currentMessage().isEmpty());
        main.close();
    }
}
