#pragma once
// A main window on the fake platform below a temporary data folder, with helpers to write its settings, a
// shipped language pack and help pages, and to answer message boxes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <functional>
#include <vector>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "platform/fake/FakePlatform.h"
#include "store/KSSettings.h"
#include "support/KSUtils.h"

namespace kestrum::test {

struct TShownBox {
    QString Text, Caption;
    unsigned Flags = 0, LanguageId = 0;
};

struct TMainFixture : ::testing::Test {
    TTestHome Home;
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    TKSSettings Settings;
    std::vector<TShownBox> Boxes;
    int Answer = 7; // No

    void SetUp() override {
        EnsureQtApp();
        SetMessageBoxHook([this](void*, const QString& text, const QString& caption, unsigned flags, unsigned lang) {
            Boxes.push_back({text, caption, flags, lang});
            return Answer;
        });
    }
    void TearDown() override { SetMessageBoxHook({}); }

    void WriteFile(const QString& relative, const QByteArray& bytes) {
        const QString path = Home.File(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void WriteConfig(const QByteArray& text) { WriteFile("Config/Config.ini", text); }
    // A shipped pack copied into the data folder (loading marks its copy, never the source).
    void CopyPack(int language) {
        const QString to = Home.File(QStringLiteral("Langs/%1/Kestrum.ini").arg(language));
        QDir().mkpath(QFileInfo(to).absolutePath());
        ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRUM_SOURCE_DIR "/Langs/%1/Kestrum.ini").arg(language), to));
    }
    // A left click as the mouse gives it.
    static void Click(QWidget* target, QPointF at = QPointF(5, 5)) {
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, at, target->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &e);
        }
    }
    QString WriteHelp(int language) {
        const QString relative = QStringLiteral("Langs/%1/Help.html").arg(language);
        WriteFile(relative, "<html><body>help</body></html>");
        return Home.File(relative);
    }
};

} // namespace kestrum::test
