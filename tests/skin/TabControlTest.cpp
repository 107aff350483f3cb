#include <gtest/gtest.h>

#include "SkinTestUtil.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvTabControl.h"
#include "skin/OrvTabItem.h"

using namespace kestrum;
using namespace kestrum::test;

namespace {

struct TTabFixture : TQtApp {
    QWidget Form;
    QWidget Pages;
    TOrvImageButton* Buttons[3];
    QWidget* Sheets[3];
    TOrvTabControl Tabs;
    QStringList Log;
    bool MarkActive = true; // disable the active tab's button, as the main window does

    TTabFixture() {
        SkinApp();
        Form.resize(400, 300);
        Pages.setParent(&Form);
        Pages.setGeometry(0, 100, 400, 200);
        for (int i = 0; i < 3; ++i) {
            Buttons[i] = new TOrvImageButton(&Form);
            Buttons[i]->setGeometry(i * 80, 0, 77, 80);
            Sheets[i] = new QWidget(&Pages);
            Sheets[i]->setObjectName(QString::number(i));
            Buttons[i]->setObjectName(QString::number(i));
        }
        auto name = [this](TOrvTabItem* item) { return item->Page()->objectName(); };
        QObject::connect(&Tabs, &TOrvTabControl::OnActivateing,
                         [=, this](auto* i) { Log << u"activating "_qs + name(i); });
        QObject::connect(&Tabs, &TOrvTabControl::OnActivated, [=, this](auto* i) {
            Log << u"activated "_qs + name(i);
            if (MarkActive) i->Button()->setEnabled(false);
        });
        QObject::connect(&Tabs, &TOrvTabControl::OnInactivating,
                         [=, this](auto* i) { Log << u"inactivating "_qs + name(i); });
        QObject::connect(&Tabs, &TOrvTabControl::OnInactivated, [=, this](auto* i) {
            Log << u"inactivated "_qs + name(i);
            i->Button()->setEnabled(true);
        });
        for (int i = 0; i < 3; ++i) Tabs.AddTab(Buttons[i], Sheets[i]);
        Form.show();
    }
};

} // namespace

TEST(TabControl, RegistrationShowsTheFirstPageOnly) {
    TTabFixture f;
    EXPECT_EQ(f.Log, (QStringList{u"activating 0"_qs, u"activated 0"_qs, u"inactivating 1"_qs, u"inactivated 1"_qs,
                                  u"inactivating 2"_qs, u"inactivated 2"_qs}));
    EXPECT_EQ(f.Tabs.ActiveIndex(), 0);
    EXPECT_TRUE(f.Sheets[0]->isVisible());
    EXPECT_FALSE(f.Sheets[1]->isVisible());
    EXPECT_FALSE(f.Sheets[2]->isVisible());
    EXPECT_FALSE(f.Buttons[0]->isEnabled());
    EXPECT_TRUE(f.Buttons[1]->isEnabled());
    EXPECT_EQ(f.Tabs.AddTab(nullptr, f.Sheets[0]), -1);
    EXPECT_EQ(f.Tabs.AddTab(f.Buttons[0], nullptr), -1);
}

TEST(TabControl, SelectTabOrderAndRange) {
    TTabFixture f;
    f.Log.clear();
    EXPECT_TRUE(f.Tabs.SelectTab(2));
    EXPECT_EQ(f.Log, (QStringList{u"inactivating 0"_qs, u"inactivated 0"_qs, u"activating 2"_qs, u"activated 2"_qs}));
    EXPECT_FALSE(f.Sheets[0]->isVisible());
    EXPECT_TRUE(f.Sheets[2]->isVisible());
    f.Log.clear();
    EXPECT_FALSE(f.Tabs.SelectTab(3));
    EXPECT_FALSE(f.Tabs.SelectTab(-1));
    EXPECT_TRUE(f.Log.isEmpty());
    // selecting the active entry runs all four events again
    EXPECT_TRUE(f.Tabs.SelectTab(2));
    EXPECT_EQ(f.Log.size(), 4);
}

TEST(TabControl, PressAndReleaseSwitchesBeforeTheButtonsClick) {
    TTabFixture f;
    f.MarkActive = false; // a disabled button gets no release, so no click to order against
    f.Log.clear();
    QObject::connect(f.Buttons[1], &TOrvCustomButton::OnClick, [&] { f.Log << u"click"_qs; });
    Press(f.Buttons[1], {10, 10});
    Release(f.Buttons[1], {10, 10});
    EXPECT_EQ(f.Log, (QStringList{u"inactivating 0"_qs, u"inactivated 0"_qs, u"activating 1"_qs, u"activated 1"_qs,
                                  u"click"_qs}));
    EXPECT_EQ(f.Tabs.ActiveIndex(), 1);
}

TEST(TabControl, ReleaseOutsideStillSwitchesWithoutAClick) {
    TTabFixture f;
    TSpy clicks(f.Buttons[2], &TOrvCustomButton::OnClick);
    Press(f.Buttons[2], {10, 10});
    Release(f.Buttons[2], {300, 200});
    EXPECT_EQ(f.Tabs.ActiveIndex(), 2);
    EXPECT_EQ(clicks.count(), 0);
}

TEST(TabControl, RightButtonAndTheDisabledActiveButtonDoNothing) {
    TTabFixture f;
    f.Log.clear();
    Press(f.Buttons[1], {10, 10}, Qt::RightButton);
    Release(f.Buttons[1], {10, 10}, Qt::RightButton);
    EXPECT_EQ(f.Tabs.ActiveIndex(), 0);
    // the active tab's button is disabled: pressing it again changes nothing
    Press(f.Buttons[0], {10, 10});
    Release(f.Buttons[0], {10, 10});
    EXPECT_TRUE(f.Log.isEmpty());
}
