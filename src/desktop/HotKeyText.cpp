#include "desktop/HotKeyText.h"

#include <QCoreApplication>

namespace kestrum {

namespace {

struct TModifierNames {
    QString Shift = QStringLiteral("Shift");
    QString Ctrl = QStringLiteral("Ctrl");
    QString Alt = QStringLiteral("Alt");
    QString Win = QStringLiteral("Win");
};

TModifierNames& ModifierNames() {
    static TModifierNames names;
    return names;
}

// US English key names. The navigation block reads as itself (Page Up, Home, arrows, Insert, Delete),
// never as the numeric-keypad key that shares its scan code.
QString UsKeyName(uint8_t vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return QString(QChar(vk));
    if (vk >= 0x60 && vk <= 0x69) return QStringLiteral("Num %1").arg(vk - 0x60);
    if (vk >= 0x70 && vk <= 0x87) return QStringLiteral("F%1").arg(vk - 0x70 + 1);
    switch (vk) {
        case 0x08:
            return QStringLiteral("Backspace");
        case 0x09:
            return QStringLiteral("Tab");
        case 0x0C:
            return QStringLiteral("Num 5");
        case 0x0D:
            return QStringLiteral("Enter");
        case 0x10:
            return QStringLiteral("Shift");
        case 0x11:
            return QStringLiteral("Ctrl");
        case 0x12:
            return QStringLiteral("Alt");
        case 0x13:
            return QStringLiteral("Pause");
        case 0x14:
            return QStringLiteral("Caps Lock");
        case 0x1B:
            return QStringLiteral("Esc");
        case 0x20:
            return QStringLiteral("Space");
        case 0x21:
            return QStringLiteral("Page Up");
        case 0x22:
            return QStringLiteral("Page Down");
        case 0x23:
            return QStringLiteral("End");
        case 0x24:
            return QStringLiteral("Home");
        case 0x25:
            return QStringLiteral("Left");
        case 0x26:
            return QStringLiteral("Up");
        case 0x27:
            return QStringLiteral("Right");
        case 0x28:
            return QStringLiteral("Down");
        case 0x2C:
            return QStringLiteral("Print Screen");
        case 0x2D:
            return QStringLiteral("Insert");
        case 0x2E:
            return QStringLiteral("Delete");
        case 0x5B:
            return QStringLiteral("Left Windows");
        case 0x5C:
            return QStringLiteral("Right Windows");
        case 0x5D:
            return QStringLiteral("Application");
        case 0x5F:
            return QStringLiteral("Sleep");
        case 0x6A:
            return QStringLiteral("Num *");
        case 0x6B:
            return QStringLiteral("Num +");
        case 0x6D:
            return QStringLiteral("Num -");
        case 0x6E:
            return QStringLiteral("Num Del");
        case 0x6F:
            return QStringLiteral("Num /");
        case 0x90:
            return QStringLiteral("Num Lock");
        case 0x91:
            return QStringLiteral("Scroll Lock");
        case 0xBA:
            return QStringLiteral(";");
        case 0xBB:
            return QStringLiteral("=");
        case 0xBC:
            return QStringLiteral(",");
        case 0xBD:
            return QStringLiteral("-");
        case 0xBE:
            return QStringLiteral(".");
        case 0xBF:
            return QStringLiteral("/");
        case 0xC0:
            return QStringLiteral("`");
        case 0xDB:
            return QStringLiteral("[");
        case 0xDC:
            return QStringLiteral("\\");
        case 0xDD:
            return QStringLiteral("]");
        case 0xDE:
            return QStringLiteral("'");
        case 0xE2:
            return QStringLiteral("\\");
        default:
            return QString();
    }
}

} // namespace

TSplitHotKey SplitHotKey(uint32_t value) {
    TSplitHotKey r;
    if (value & HotKey_Alt) r.Modifiers |= 1;
    if (value & HotKey_Ctrl) r.Modifiers |= 2;
    if (value & HotKey_Shift) r.Modifiers |= 4;
    if (value & HotKey_Win) r.Modifiers |= 8;
    r.VirtualKey = static_cast<uint8_t>(value & 0xFF);
    return r;
}

uint32_t JoinHotKey(uint32_t modifiers, uint8_t virtualKey) {
    uint32_t v = virtualKey;
    if (modifiers & 1) v |= HotKey_Alt;
    if (modifiers & 2) v |= HotKey_Ctrl;
    if (modifiers & 4) v |= HotKey_Shift;
    if (modifiers & 8) v |= HotKey_Win;
    return v;
}

bool IsMediaKey(uint32_t vk) {
    return vk >= 166 && vk <= 183;
}

QString MediaKeyName(uint32_t vk) {
    static const char* const names[] = {
        "Browser Back",      "Browser Forward",     "Browser Refresh",    "Browser Stop",     "Browser Search",
        "Browser Favorites", "Browser Start/Home",  "Volume Mute",        "Volume Down",      "Volume Up",
        "Next Track",        "Previous Track",      "Stop Media",         "Play/Pause Media", "Start Mail",
        "Select Media",      "Start Application 1", "Start Application 2"};
    if (!IsMediaKey(vk)) return QString();
    return QString::fromLatin1(names[vk - 166]);
}

QString HotKeyToText(uint32_t value, bool localized) {
    const uint8_t vk = static_cast<uint8_t>(value & 0xFF);
    QString key = UsKeyName(vk);
    // Key names are looked up in the same context as the toolkit's own shortcut texts, so a loaded
    // translation renames them; without one they stay English.
    if (localized && !key.isEmpty()) key = QCoreApplication::translate("QShortcut", key.toUtf8().constData());
    if (key.size() <= 1 && IsMediaKey(vk)) key = MediaKeyName(vk);

    const TModifierNames& loc = ModifierNames();
    QString prefix;
    if (value & HotKey_Ctrl) prefix += (localized ? loc.Ctrl : QStringLiteral("Ctrl")) + u'+';
    if (value & HotKey_Shift) prefix += (localized ? loc.Shift : QStringLiteral("Shift")) + u'+';
    if (value & HotKey_Alt) prefix += (localized ? loc.Alt : QStringLiteral("Alt")) + u'+';
    if (value & HotKey_Win) prefix += (localized ? loc.Win : QStringLiteral("Win")) + u'+';
    return prefix + key;
}

void SetHotKeyModifierNames(const QString& shift, const QString& ctrl, const QString& alt) {
    TModifierNames& n = ModifierNames();
    n.Shift = shift;
    n.Ctrl = ctrl;
    n.Alt = alt;
    bool capitals = true;
    for (QChar c : alt)
        if (c < u'A' || c > u'Z') capitals = false;
    n.Win = capitals ? QStringLiteral("WIN") : QStringLiteral("Win");
}

void InitHotKeyNames() {
    SetHotKeyModifierNames(HotKeyToText(0x10, true), HotKeyToText(0x11, true), HotKeyToText(0x12, true));
}

} // namespace kestrum
