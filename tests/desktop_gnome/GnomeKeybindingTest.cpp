#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "desktop/GnomeKeybinding.h"
#include "desktop/HotKeyText.h"

using namespace kestrum;

TEST(GnomeKeybinding, StoredKeysAsGnomeAccelerators) {
    const struct {
        uint32_t Value;
        const char* Binding;
    } cases[] = {
        {HotKey_Alt | 'M', "<Alt>m"},
        {HotKey_Ctrl | HotKey_Shift | 0x7B, "<Control><Shift>F12"},
        {HotKey_Ctrl | HotKey_Alt | HotKey_Shift | HotKey_Win | '5', "<Control><Alt><Shift><Super>5"},
        {HotKey_Ctrl | 0x21, "<Control>Prior"},
        {HotKey_Alt | 0xBD, "<Alt>minus"},
        {0xB3, "XF86AudioPlay"},
        {HotKey_Ctrl | 0xFF, ""}, // no key name: nothing to offer
    };
    for (const auto& c : cases)
        EXPECT_EQ(TGnomeKeybinding::ToBinding(c.Value).toStdString(), c.Binding) << std::hex << c.Value;
}

TEST(GnomeKeybinding, ReadsAndWritesGsettingsStringLists) {
    const struct {
        const char* Printed;
        std::optional<QStringList> List;
    } cases[] = {
        {"@as []\n", QStringList{}},
        {"[]", QStringList{}},
        {"['/a/']\n", QStringList{"/a/"}},
        {"['/a/', '/b/']", QStringList{"/a/", "/b/"}},
        {"[ '/a/' ,\"/b/\" ]", QStringList{"/a/", "/b/"}},
        {R"(['it\'s', 'back\\slash'])", QStringList{"it's", "back\\slash"}},
        {"", std::nullopt},
        {"No such schema", std::nullopt},
        {"['/a/'", std::nullopt},
        {"['/a/' '/b/']", std::nullopt},
        {"['/a/, '/b/']", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TGnomeKeybinding::ParseStringList(QString::fromUtf8(c.Printed)), c.List) << c.Printed;
        if (c.List) // what is written reads back the same
            EXPECT_EQ(TGnomeKeybinding::ParseStringList(TGnomeKeybinding::FormatStringList(*c.List)), c.List);
    }
}

namespace {

// A stand-in gsettings: records each call's arguments, one per line, and prints the list from a file.
struct TFakeGsettings {
    QTemporaryDir Dir;
    QString Program = Dir.filePath("gsettings");
    explicit TFakeGsettings(const QByteArray& list, int failOn = 0) {
        QFile f(Program);
        f.open(QIODevice::WriteOnly);
        f.write(
            "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s|' \"$@\" >> \"$d/calls\"; echo >> \"$d/calls\"\n"
            "n=$(wc -l < \"$d/calls\")\n");
        if (failOn) f.write("[ \"$n\" -eq " + QByteArray::number(failOn) + " ] && { echo denied >&2; exit 1; }\n");
        f.write("[ \"$1\" = get ] && cat \"$d/list\"\nexit 0\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        QFile l(Dir.filePath("list"));
        l.open(QIODevice::WriteOnly);
        l.write(list);
    }
    QStringList Calls() {
        QFile f(Dir.filePath("calls"));
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
};

const QString kEntry =
    u"set|org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:"
    "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/kestrum/|"_qs;

} // namespace

// The entry joins the list beside the user's own ones, or is updated where it is already there; a list that
// cannot be read, or a refused write, is reported and nothing more is written.
TEST(GnomeKeybinding, AddsOrUpdatesItsOwnEntryAndKeepsTheOthers) {
    const QString own = QString::fromLatin1(TGnomeKeybinding::OwnPath);
    const struct {
        QByteArray List;
        int FailOn;
        bool Ok;
        QStringList Calls;
    } cases[] = {
        {"@as []\n",
         0,
         true,
         {"get|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|",
          "set|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|['" + own + "']|",
          kEntry + "name|'Kestrum: free memory'|", kEntry + "command|'/usr/bin/kestrum -optimize'|",
          kEntry + "binding|'<Alt>m'|"}},
        {"['/custom0/', '/custom1/']\n",
         0,
         true,
         {"get|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|",
          "set|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|['/custom0/', '/custom1/', '" + own +
              "']|",
          kEntry + "name|'Kestrum: free memory'|", kEntry + "command|'/usr/bin/kestrum -optimize'|",
          kEntry + "binding|'<Alt>m'|"}},
        {"['/custom0/', '" + own.toUtf8() + "']\n",
         0,
         true,
         {"get|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|",
          kEntry + "name|'Kestrum: free memory'|", kEntry + "command|'/usr/bin/kestrum -optimize'|",
          kEntry + "binding|'<Alt>m'|"}},
        {"No such schema\n", 0, false, {"get|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|"}},
        {"@as []\n",
         2,
         false,
         {"get|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|",
          "set|org.gnome.settings-daemon.plugins.media-keys|custom-keybindings|['" + own + "']|"}},
    };
    for (const auto& c : cases) {
        TFakeGsettings fake(c.List, c.FailOn);
        QString error;
        EXPECT_EQ(TGnomeKeybinding(fake.Program)
                      .Apply(u"Kestrum: free memory"_qs, u"/usr/bin/kestrum -optimize"_qs, u"<Alt>m"_qs, &error),
                  c.Ok)
            << c.List.toStdString();
        EXPECT_EQ(fake.Calls(), c.Calls) << c.List.toStdString();
        EXPECT_EQ(error.isEmpty(), c.Ok) << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(TGnomeKeybinding(u"/nonexistent/gsettings"_qs).Apply(u"n"_qs, u"c"_qs, u"b"_qs, &error));
    EXPECT_FALSE(error.isEmpty());
}
