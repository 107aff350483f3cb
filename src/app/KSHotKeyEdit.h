#pragma once
#include <QLineEdit>
#include <cstdint>

namespace kestrum {

// A hotkey edit: the user presses a combination and the edit shows it and holds it as a hotkey value in
// the 16-bit settings layout (key code in bits 0-7, 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt; the Win key
// does not fit in 16 bits, so combinations with it are not taken). Backspace or Delete alone clear it to 0 (no key).
// Tab, Enter and Escape alone go to the dialog; with a modifier they are combinations like any other. While it has the
// keyboard focus it holds the whole keyboard, so a combination another program (the window manager) has grabbed still
// reaches it and can be recorded.
class TKSHotKeyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TKSHotKeyEdit(QWidget* parent = nullptr);

    uint16_t HotKey() const { return FHotKey; }
    // The edit holds the keyboard to record a combination.
    bool Capturing() const { return FCapturing; }
    // Sets the value from code; OnChange is not raised.
    void SetHotKey(uint16_t value);

    // The Windows key code of a Qt key (shifted US symbols folded back to their key), 0 when it has none.
    static uint8_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers);
    // The modifier bits of the value layout for held modifiers.
    static uint16_t ModifierBitsOf(Qt::KeyboardModifiers modifiers);

signals:
    // The user changed the value (a combination pressed, or the edit cleared).
    void OnChange();
    // The edit took the keyboard to record a combination (true) or gave it back (false). Whoever holds a
    // global grab of the same combination lets go meanwhile, or pressing it would not reach the edit.
    void CaptureChanged(bool capturing);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ShowValue();
    void StartCapture();
    void EndCapture();

    uint16_t FHotKey = 0;
    bool FPartial = false;   // only modifiers are held and shown
    bool FCapturing = false; // the edit holds the keyboard
};

} // namespace kestrum
