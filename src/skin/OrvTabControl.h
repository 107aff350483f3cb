#pragma once
// Turns picture buttons into tabs: each entry pairs a button with a page; pressing a button shows its page and
// hides the one shown before. The four events tell the owner what is switched, in order.
#include <QObject>
#include <vector>

#include "skin/OrvTabItem.h"

namespace kestrum {

class TOrvImageButton;

class TOrvTabControl : public QObject {
    Q_OBJECT
public:
    explicit TOrvTabControl(QObject* owner = nullptr);
    ~TOrvTabControl() override;

    // The new entry's index, or -1 when the button or the page is missing.
    int AddTab(TOrvImageButton* button, QWidget* page);
    // False (and nothing happens) for an index outside the entries.
    bool SelectTab(int index);

    int Count() const { return int(FItems.size()); }
    TOrvTabItem* Item(int index) const;
    TOrvTabItem* ActiveItem() const { return FActive; }
    int ActiveIndex() const;

signals:
    void OnActivateing(TOrvTabItem* item);
    void OnActivated(TOrvTabItem* item);
    void OnInactivating(TOrvTabItem* item);
    void OnInactivated(TOrvTabItem* item);

private:
    friend class TOrvTabItem;
    void Activate(TOrvTabItem* item);
    void Deactivate(TOrvTabItem* item);
    void SwitchTo(TOrvTabItem* item);

    std::vector<TOrvTabItem*> FItems; // owned (children of this object)
    TOrvTabItem* FActive = nullptr;
};

} // namespace kestrum
