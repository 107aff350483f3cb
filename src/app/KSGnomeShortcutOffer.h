#pragma once
#include <QObject>
#include <QString>
#include <cstdint>

class QPushButton;
class QWidget;

namespace kestrum {

class TOrvMultiLangs;

// On GNOME, where no shortcut portal holds the hotkey, the settings dialog offers to add a GNOME custom
// keybinding that runs "kestrum -optimize" on the stored key. Nothing is written before the user says yes.
class TKSGnomeShortcutOffer : public QObject {
    Q_OBJECT
public:
    // The button lies in `dialog` at `geometry`'s place (shared with the portal's button: never both shown).
    TKSGnomeShortcutOffer(QWidget* dialog, const QRect& geometry, const TOrvMultiLangs* langs);

    // Whether the session is GNOME's (XDG_CURRENT_DESKTOP names it).
    static bool OnGnome();
    // What the desktop runs: the installed launcher's name where it is on the PATH, else this program.
    static QString Command();

    // `needed`: the hotkey is wanted and nothing holds it. Shows the button where that key can be offered.
    void Update(bool needed, uint32_t value);
    void ApplyTexts();
    QPushButton* Button() const { return FButton; }
    // The question, then the writing; returns whether the keybinding was added.
    bool Offer();

private:
    QWidget* FDialog;
    const TOrvMultiLangs* FLangs;
    QPushButton* FButton;
    uint32_t FValue = 0;
};

} // namespace kestrum
