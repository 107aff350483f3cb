#include "skin/OrvTabControl.h"

#include <QWidget>

#include "skin/OrvImageButton.h"
#include "skin/OrvTabItem.h"

namespace kestrum {

TOrvTabControl::TOrvTabControl(QObject* owner) : QObject(owner) {}

TOrvTabControl::~TOrvTabControl() {
    for (auto* item : FItems) delete item;
    FItems.clear();
}

TOrvTabItem* TOrvTabControl::Item(int index) const {
    return index >= 0 && index < Count() ? FItems[size_t(index)] : nullptr;
}

int TOrvTabControl::ActiveIndex() const {
    for (int i = 0; i < Count(); ++i)
        if (FItems[size_t(i)] == FActive) return i;
    return -1;
}

int TOrvTabControl::AddTab(TOrvImageButton* button, QWidget* page) {
    if (!button || !page) return -1;
    auto* item = new TOrvTabItem(this, button, page);
    if (FItems.empty())
        Activate(item);
    else
        Deactivate(item);
    FItems.push_back(item);
    return Count() - 1;
}

bool TOrvTabControl::SelectTab(int index) {
    if (index < 0 || index >= Count()) return false;
    SwitchTo(FItems[size_t(index)]);
    return true;
}

void TOrvTabControl::SwitchTo(TOrvTabItem* item) {
    Deactivate(FActive);
    Activate(item);
}

void TOrvTabControl::Activate(TOrvTabItem* item) {
    if (!item || !item->Button() || !item->Page()) return;
    emit OnActivateing(item);
    item->Page()->show();
    item->Page()->raise();
    emit OnActivated(item);
    FActive = item;
}

void TOrvTabControl::Deactivate(TOrvTabItem* item) {
    if (!item || !item->Button() || !item->Page()) return;
    emit OnInactivating(item);
    item->Page()->hide();
    item->Page()->lower();
    item->Button()->setEnabled(true);
    emit OnInactivated(item);
}

} // namespace kestrum
