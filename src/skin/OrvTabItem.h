#pragma once
// One entry of the tab switcher: a picture button and the page it shows. Watches the button's mouse buttons
// ahead of the button itself, so a switch is complete before the button sees the release (and its click).
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace kestrum {

class TOrvTabControl;
class TOrvImageButton;

class TOrvTabItem : public QObject {
    Q_OBJECT
public:
    TOrvTabItem(TOrvTabControl* switcher, TOrvImageButton* button, QWidget* page);
    ~TOrvTabItem() override;

    TOrvTabControl* Switcher() const { return FSwitcher; }
    TOrvImageButton* Button() const { return FButton; }
    QWidget* Page() const { return FPage; }
    bool Pressed() const { return FPressed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TOrvTabControl* FSwitcher;
    QPointer<TOrvImageButton> FButton;
    QPointer<QWidget> FPage;
    bool FPressed = false;
};

} // namespace kestrum
