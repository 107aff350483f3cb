#include "skin/OrvTabItem.h"

#include <QMouseEvent>

#include "skin/OrvImageButton.h"
#include "skin/OrvTabControl.h"

namespace kestrum {

TOrvTabItem::TOrvTabItem(TOrvTabControl* switcher, TOrvImageButton* button, QWidget* page)
    : QObject(switcher), FSwitcher(switcher), FButton(button), FPage(page) {
    if (button) button->installEventFilter(this);
}

TOrvTabItem::~TOrvTabItem() {
    if (FButton) FButton->removeEventFilter(this);
}

bool TOrvTabItem::eventFilter(QObject* watched, QEvent* e) {
    if (watched != FButton) return false;
    // A disabled button receives no presses (the active tab's button is disabled by its owner).
    if (!FButton->isEnabled()) return false;
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) FPressed = true;
    } else if (e->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            // The button holds the pointer while pressed, so a release anywhere still reaches it.
            if (FPressed && FSwitcher) FSwitcher->SwitchTo(this);
            FPressed = false;
        }
    }
    return false; // the button always sees the event afterwards
}

} // namespace kestrum
