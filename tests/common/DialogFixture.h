#pragma once
// A main window on the fake platform with a temporary data folder, and helpers to drive its dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/frmKSMain.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakePlatform.h"
#include "store/KSSettings.h"
#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum::test {

struct TDialogFixture : ::testing::Test {
    TTestHome Home;
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    TKSSettings Settings;

    void SetUp() override { EnsureQtApp(); }

    platform::TFakeHotKeys& Keys() { return *static_cast<platform::TFakeHotKeys*>(Plat.HotKeys.get()); }

    void WriteConfig(const QByteArray& text) {
        QDir().mkpath(Home.File("Config"));
        QFile f(Home.File("Config/Config.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QString Stored(const char* key) {
        return TIniFile(Home.File("Config/Config.ini")).ReadString("KESTRUM", QString::fromLatin1(key), "?");
    }

    // The verbs of the launcher runs so far ("/add", "/del"), in order.
    std::vector<std::string> LauncherVerbs() {
        std::vector<std::string> verbs;
        const std::string launcher = '"' + (GetProgramDir() + "BramblinASL").toStdString() + "\" ";
        for (const std::string& line : Fakes.Shell->Launched) {
            if (line.rfind(launcher, 0) != 0) continue;
            verbs.push_back(line.substr(launcher.size(), 4));
        }
        return verbs;
    }
};

// Runs `step` once `ready` answers true, from the event loop (as soon as a modal dialog runs its own loop);
// gives up after 15 s (a loaded machine may take seconds to show a first dialog) so a broken dialog cannot
// hang the test.
inline void WhenReady(std::function<bool()> ready, std::function<void()> step) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (!ready() && started->elapsed() < 15000) return;
        timer->stop();
        timer->deleteLater();
        if (ready()) return step();
        ADD_FAILURE() << "the dialog never came up";
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close(); // do not hang in its loop
    });
    timer->start(10);
}

// One key pressed and released on a widget (going up to its parents while nobody takes it).
inline void PressKey(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QCoreApplication::sendEvent(w, &release);
}

} // namespace kestrum::test
