#include "app/KSHotKeyEdit.h"

#include <QKeyEvent>

#include "desktop/HotKeyText.h"

namespace kestrum {

namespace {

bool IsModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
            return true;
        default:
            return false;
    }
}

// What a held Shift turns the US keys into, folded back to the key itself.
int UnshiftUs(int key) {
    static const char shifted[] = "!@#$%^&*()_+{}|:\"<>?~";
    static const char base[] = "1234567890-=[]\\;',./`";
    for (int i = 0; shifted[i]; ++i)
        if (key == shifted[i]) return base[i];
    return key;
}

} // namespace

TKSHotKeyEdit::TKSHotKeyEdit(QWidget* parent) : QLineEdit(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    ShowValue();
}

void TKSHotKeyEdit::SetHotKey(uint16_t value) {
    FHotKey = value;
    ShowValue();
}

void TKSHotKeyEdit::ShowValue() {
    setText(FHotKey ? HotKeyToText(FHotKey, true) : QString());
    setCursorPosition(text().size());
}

uint16_t TKSHotKeyEdit::ModifierBitsOf(Qt::KeyboardModifiers m) {
    uint16_t bits = 0;
    if (m & Qt::ShiftModifier) bits |= HotKey_Shift;
    if (m & Qt::ControlModifier) bits |= HotKey_Ctrl;
    if (m & Qt::AltModifier) bits |= HotKey_Alt;
    return bits;
}

uint8_t TKSHotKeyEdit::VirtualKeyOf(int key, Qt::KeyboardModifiers m) {
    const bool keypad = m & Qt::KeypadModifier;
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9) return uint8_t(0x60 + (key - Qt::Key_0));
        switch (key) {
            case Qt::Key_Asterisk:
                return 0x6A;
            case Qt::Key_Plus:
                return 0x6B;
            case Qt::Key_Minus:
                return 0x6D;
            case Qt::Key_Period:
            case Qt::Key_Comma:
                return 0x6E;
            case Qt::Key_Slash:
                return 0x6F;
            case Qt::Key_Enter:
                return 0x0D;
            default:
                break; // navigation keys of the keypad read as themselves
        }
    }
    if (m & Qt::ShiftModifier) key = UnshiftUs(key);
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) return uint8_t(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return uint8_t(0x70 + (key - Qt::Key_F1));
    switch (key) {
        case Qt::Key_Backspace:
            return 0x08;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 0x09;
        case Qt::Key_Clear:
            return 0x0C;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x0D;
        case Qt::Key_Pause:
            return 0x13;
        case Qt::Key_CapsLock:
            return 0x14;
        case Qt::Key_Escape:
            return 0x1B;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return 0x23;
        case Qt::Key_Home:
            return 0x24;
        case Qt::Key_Left:
            return 0x25;
        case Qt::Key_Up:
            return 0x26;
        case Qt::Key_Right:
            return 0x27;
        case Qt::Key_Down:
            return 0x28;
        case Qt::Key_Print:
            return 0x2C;
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return 0x2E;
        case Qt::Key_Help:
            return 0x2F;
        case Qt::Key_Menu:
            return 0x5D;
        case Qt::Key_Sleep:
            return 0x5F;
        case Qt::Key_NumLock:
            return 0x90;
        case Qt::Key_ScrollLock:
            return 0x91;
        case Qt::Key_Back:
            return 0xA6;
        case Qt::Key_Forward:
            return 0xA7;
        case Qt::Key_Refresh:
            return 0xA8;
        case Qt::Key_Stop:
            return 0xA9;
        case Qt::Key_Search:
            return 0xAA;
        case Qt::Key_Favorites:
            return 0xAB;
        case Qt::Key_HomePage:
            return 0xAC;
        case Qt::Key_VolumeMute:
            return 0xAD;
        case Qt::Key_VolumeDown:
            return 0xAE;
        case Qt::Key_VolumeUp:
            return 0xAF;
        case Qt::Key_MediaNext:
            return 0xB0;
        case Qt::Key_MediaPrevious:
            return 0xB1;
        case Qt::Key_MediaStop:
            return 0xB2;
        case Qt::Key_MediaPlay:
        case Qt::Key_MediaTogglePlayPause:
            return 0xB3;
        case Qt::Key_LaunchMail:
            return 0xB4;
        case Qt::Key_LaunchMedia:
            return 0xB5;
        case Qt::Key_Launch0:
            return 0xB6;
        case Qt::Key_Launch1:
            return 0xB7;
        case Qt::Key_Semicolon:
            return 0xBA;
        case Qt::Key_Equal:
            return 0xBB;
        case Qt::Key_Comma:
            return 0xBC;
        case Qt::Key_Minus:
            return 0xBD;
        case Qt::Key_Period:
            return 0xBE;
        case Qt::Key_Slash:
            return 0xBF;
        case Qt::Key_QuoteLeft:
            return 0xC0;
        case Qt::Key_BracketLeft:
            return 0xDB;
        case Qt::Key_Backslash:
            return 0xDC;
        case Qt::Key_BracketRight:
            return 0xDD;
        case Qt::Key_Apostrophe:
            return 0xDE;
        default:
            return 0;
    }
}

bool TKSHotKeyEdit::event(QEvent* e) {
    // While the edit has focus, every key is a candidate combination, not an application shortcut.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        const auto mods = k->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        const bool dialogKey = mods == Qt::NoModifier &&
                               (k->key() == Qt::Key_Escape || k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter ||
                                k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab);
        if (!dialogKey) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void TKSHotKeyEdit::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    const auto mods = e->modifiers();
    const uint16_t modBits = ModifierBitsOf(mods);
    if (IsModifierKey(key)) {
        // While only modifiers are held, show what they would make ("Ctrl+"), as the stock edit does.
        FPartial = true;
        QString shown = modBits ? HotKeyToText(modBits, true) : QString();
        setText(shown);
        setCursorPosition(shown.size());
        e->accept();
        return;
    }
    if (modBits == 0 && (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        e->ignore(); // the dialog's Cancel and Ok
        return;
    }
    e->accept();
    FPartial = false;
    if (mods & Qt::MetaModifier) {
        ShowValue(); // the Win key has no place in the stored value: such a combination cannot be kept
        return;
    }
    if (modBits == 0 && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        FHotKey = 0;
        ShowValue();
        emit OnChange();
        return;
    }
    const uint8_t vk = VirtualKeyOf(key, mods);
    if (!vk) {
        ShowValue(); // a key the value layout cannot name: keep what was there
        return;
    }
    FHotKey = uint16_t(vk | modBits);
    ShowValue();
    emit OnChange();
}

void TKSHotKeyEdit::keyReleaseEvent(QKeyEvent* e) {
    const int key = e->key();
    if (IsModifierKey(key)) {
        // Whether the released key is still counted in the event's modifiers differs between platforms.
        uint16_t left = ModifierBitsOf(e->modifiers());
        if (key == Qt::Key_Shift) left &= ~HotKey_Shift;
        if (key == Qt::Key_Control) left &= ~HotKey_Ctrl;
        if (key == Qt::Key_Alt) left &= ~HotKey_Alt;
        if (left && FPartial) {
            setText(HotKeyToText(left, true));
            setCursorPosition(text().size());
        } else {
            FPartial = false;
            ShowValue(); // modifiers let go without a key: the edit shows its value again
        }
    }
    e->accept();
}

void TKSHotKeyEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    StartCapture();
}

void TKSHotKeyEdit::focusOutEvent(QFocusEvent* e) {
    EndCapture();
    FPartial = false;
    ShowValue();
    QLineEdit::focusOutEvent(e);
}

// A dialog that closes, or an edit that is switched off, does not keep the keyboard.
void TKSHotKeyEdit::hideEvent(QHideEvent* e) {
    EndCapture();
    QLineEdit::hideEvent(e);
}

void TKSHotKeyEdit::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !isEnabled()) EndCapture();
    QLineEdit::changeEvent(e);
}

void TKSHotKeyEdit::StartCapture() {
    if (FCapturing || !isEnabled() || !isVisible()) return;
    FCapturing = true;
    // The holder of a grab lets go first, so that the keyboard grab below gets every combination.
    emit CaptureChanged(true);
    grabKeyboard();
}

void TKSHotKeyEdit::EndCapture() {
    if (!FCapturing) return;
    FCapturing = false;
    releaseKeyboard();
    emit CaptureChanged(false);
}

} // namespace kestrum
