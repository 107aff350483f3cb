// Faults of the start-up: read-only packs, the upgrade question, hand-overs during creation and from
// silent clients, an unregistrable hotkey, the single-instance folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <cstring>

#include "MainFixture.h"
#include "app/KSSingleInst.h"
#include "app/frmKSMain.h"
#include "common/FileSizeLimit.h"
#include "desktop/LanguageBroadcast.h"
#include "platform/IHotKeys.h"
#include "platform/ISingleInstance.h"
#include "platform/fake/FakeHotKeys.h"
#include "skin/OrvImageButton.h"

using namespace kestrum;
using test::TMainFixture;

TEST_F(TMainFixture, AReadOnlyPackStillLoads) {
    WriteConfig("[LANGUAGE]\nLanguage=1031\n");
    CopyPack(1031);
    const QString pack = Home.File("Langs/1031/Kestrum.ini");
    QFile f(pack);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    {
        test::TFileSizeLimit readOnly(16); // nothing can be written: an installed pack, a full disk
        EXPECT_NO_THROW(w.FormCreate());
    }
    EXPECT_EQ(w.findChild<TOrvImageButton*>("btnTabOptimize")->Caption(), "Optimieren");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST_F(TMainFixture, UpgradeQuestionTakesItsTextsFromThePack) {
    WriteConfig("[LANGUAGE]\nLanguage=1031\n");
    CopyPack(1031);
    WriteFile("Fetchup", "#!/bin/sh\n");
    Answer = 6;
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.SetUpdaterPath(Home.File("Fetchup"));
    w.FormCreate();
    Fakes.Shell->Launched.clear(); // the auto-start launcher ran during creation
    QCoreApplication::processEvents(); // the question comes after the window has painted
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "Aktualisierung");
    EXPECT_EQ(Boxes[0].Text, "Möchten Sie jetzt nach einer neueren Version von Kestrum suchen?");
    EXPECT_EQ(Boxes[0].Flags, 0x44u);
    EXPECT_EQ(Fakes.Shell->Launched, std::vector<std::string>{('"' + Home.File("Fetchup") + '"').toStdString()});

    // Without a pack the built-in English asks; No starts nothing.
    Boxes.clear();
    Answer = 7;
    WriteConfig("");
    TFormKSMain english(Plat, Settings, {"Kestrum"});
    english.SetUpdaterPath(Home.File("Fetchup"));
    english.FormCreate();
    Fakes.Shell->Launched.clear();
    QCoreApplication::processEvents();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "Upgrade");
    EXPECT_FALSE(Boxes[0].Text.isEmpty());
    EXPECT_TRUE(Fakes.Shell->Launched.empty());
}

TEST_F(TMainFixture, HandOverDuringCreationWaitsForTheWindow) {
    // An automatic start that stays in the tray; a second start arrives while the tabs are registered.
    TFormKSMain w(Plat, Settings, {"Kestrum", "-autostart", "-popup", "73825"});
    w.SetTrayAvailableProbe([] { return true; });
    bool visibleAtHandOver = true;
    bool sent = false;
    QObject::connect(&w, &TFormKSMain::TabSelected, [&](int) {
        if (sent) return;
        sent = true;
        w.HandOver(73826);
        visibleAtHandOver = w.isVisible();
    });
    w.FormCreate();
    ASSERT_TRUE(sent);
    EXPECT_FALSE(visibleAtHandOver);
    // Answered once the window is complete: the second start's page, brought forward.
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.ActiveTabIndex(), 1);

    // Without a hand-over the automatic start stays hidden.
    TFormKSMain quiet(Plat, Settings, {"Kestrum", "-autostart"});
    quiet.SetTrayAvailableProbe([] { return true; });
    quiet.FormCreate();
    EXPECT_FALSE(quiet.isVisible());
}

TEST_F(TMainFixture, AHotKeyThatCannotBeRegisteredIsSaidOnce) {
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=32845\n"); // Alt+M
    auto* keys = static_cast<platform::TFakeHotKeys*>(Plat.HotKeys.get());
    keys->Taken.insert({platform::HotKeyMod_Alt, 'M'});
    CopyPack(1031);
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    const QString notice =
        "The hotkey Alt+M could not be registered: another program uses it, or there is no X server.";
    EXPECT_EQ(w.StartupNotice(), notice);
    EXPECT_EQ(w.findChild<QLabel*>("lblStatusInfo")->text(), notice);
    EXPECT_TRUE(w.TrayIcon()->toolTip().endsWith(notice));
    // A language change says it again in the new language, still once.
    w.LanguageBroadcastMessage(w.LanguageMessageId(), 1, LanguageBroadcastLParam(w.LanguageMessageId(), 1031));
    const QString status = w.findChild<QLabel*>("lblStatusInfo")->text();
    EXPECT_TRUE(status.startsWith("Das Tastenkürzel Alt+M")) << status.toStdString();
    EXPECT_EQ(status.count("Alt+M"), 1);
    EXPECT_EQ(w.TrayIcon()->toolTip().count("Alt+M"), 1);

    // Registered: nothing to say.
    keys->Taken.clear();
    TFormKSMain ok(Plat, Settings, {"Kestrum"});
    ok.FormCreate();
    EXPECT_EQ(ok.StartupNotice(), "");
    EXPECT_EQ(ok.findChild<QLabel*>("lblStatusInfo")->text(), "");
}

// The Linux single-instance backend ---------------------------------------------------------------------------

namespace {

const std::string kName = SingleInstanceName;

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// A client of the hand-over socket that writes what it is given and stays connected.
int Connect(const std::string& dir) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string name = platform::SingleInstanceSocketName(dir, kName);
    std::memcpy(addr.sun_path + 1, name.c_str(), name.size());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), socklen_t(sizeof(sa_family_t) + 1 + name.size())), 0);
    return fd;
}

} // namespace

TEST(LinuxSingleInstance, TheMarkerNeedsNoFolderAndWritesNone) {
    QTemporaryDir tmp;
    const std::string base = tmp.path().toStdString();
    // Whatever the runtime folder is (missing, open to others, a link, another user's), the marker holds,
    // the hand-over arrives, and nothing is written there.
    const std::string fresh = base + "/fresh", open = base + "/open", link = base + "/link", foreign = base + "/foreign";
    mkdir(open.c_str(), 0777);
    chmod(open.c_str(), 0777);
    mkdir((base + "/target").c_str(), 0700);
    ASSERT_EQ(symlink((base + "/target").c_str(), link.c_str()), 0);
    std::vector<std::string> dirs{fresh, open, link};
    if (geteuid() == 0) {
        mkdir(foreign.c_str(), 0700);
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
        dirs.push_back(foreign);
    }
    for (const std::string& dir : dirs) {
        auto a = platform::MakeLinuxSingleInstance(dir);
        auto b = platform::MakeLinuxSingleInstance(dir);
        ASSERT_TRUE(a->Acquire(kName)) << dir;
        EXPECT_FALSE(b->Acquire(kName)) << dir;
        int64_t got = 0;
        ASSERT_TRUE(a->Listen([&](int64_t code) { got = code; })) << dir;
        EXPECT_TRUE(b->Send(kName, 73826)) << dir;
        for (int i = 0; i < 100 && got == 0; ++i) {
            a->Poll();
            usleep(10000);
        }
        EXPECT_EQ(got, 73826) << dir;
        EXPECT_FALSE(Exists(dir + "/" + kName + ".lock")) << dir;
        EXPECT_FALSE(Exists(dir + "/" + kName + ".sock")) << dir;
        a->Release();
        EXPECT_TRUE(b->Acquire(kName)) << dir << ": a released marker is free at once";
    }
    EXPECT_FALSE(Exists(fresh));
    EXPECT_FALSE(Exists(base + "/target/" + kName + ".lock"));
}

TEST(LinuxSingleInstance, SilentClientsDoNotHoldUpTheHandOver) {
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/run";
    auto first = platform::MakeLinuxSingleInstance(dir);
    ASSERT_TRUE(first->Acquire(kName));
    std::vector<int64_t> got;
    ASSERT_TRUE(first->Listen([&](int64_t code) { got.push_back(code); }));
    ASSERT_GE(first->PollDescriptor(), 0);

    // Three clients that connect and say nothing, one that sends half a code, and a real second start.
    std::vector<int> silent{Connect(dir), Connect(dir), Connect(dir)};
    const int64_t late = 73825;
    int half = Connect(dir);
    ASSERT_EQ(write(half, &late, 4), 4);
    EXPECT_TRUE(platform::MakeLinuxSingleInstance(dir)->Send(kName, 73826));

    QElapsedTimer t;
    t.start();
    first->Poll();
    // Reading used to wait up to a second for each connection; now nothing waits.
    EXPECT_LT(t.elapsed(), 900);
    EXPECT_EQ(got, std::vector<int64_t>{73826});

    // The rest of the half-sent code arrives later and is handed on then.
    ASSERT_EQ(write(half, reinterpret_cast<const char*>(&late) + 4, 4), 4);
    first->Poll();
    EXPECT_EQ(got, (std::vector<int64_t>{73826, 73825}));
    for (int fd : silent) close(fd);
    close(half);
    first->Poll(); // closed without a code: nothing
    EXPECT_EQ(got.size(), 2u);
}
