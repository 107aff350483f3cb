#include "desktop/OrvHotKeyManager.h"

#include <algorithm>

#include "desktop/HotKeyText.h"
#include "desktop/X11HotKeyFilter.h"

namespace kestrum {

TOrvHotKeyManager::TOrvHotKeyManager(platform::IHotKeys& hotKeys, QObject* owner) : QObject(owner), HotKeys(hotKeys) {
    Filter = std::make_unique<TX11HotKeyFilter>(HotKeys, [this](const platform::THotKeyPress& p) { WndProc(p); });
}

TOrvHotKeyManager::~TOrvHotKeyManager() {
    RemoveAllHotKeys();
    Filter.reset();
}

uint16_t TOrvHotKeyManager::AddHotKey(uint32_t value) {
    TSplitHotKey split = SplitHotKey(value);
    uint16_t id = HotKeys.AddAtom("HotKeyManagerHotKey" + std::to_string(value));
    if (!id) return 0;
    if (!HotKeys.Register(id, split.Modifiers, split.VirtualKey)) {
        HotKeys.DeleteAtom(id);
        return 0;
    }
    Table.push_back({value, id});
    return id;
}

void TOrvHotKeyManager::Unregister(const TEntry& e, bool* ok) {
    bool r = HotKeys.Unregister(e.Id);
    HotKeys.DeleteAtom(e.Id);
    if (ok) *ok = r;
}

bool TOrvHotKeyManager::RemoveHotKey(uint32_t value) {
    auto it = std::find_if(Table.begin(), Table.end(), [&](const TEntry& e) { return e.Value == value; });
    if (it == Table.end()) return false;
    TEntry e = *it;
    Table.erase(it);
    bool ok = false;
    Unregister(e, &ok);
    return ok;
}

void TOrvHotKeyManager::RemoveAllHotKeys() {
    while (!Table.empty()) {
        TEntry e = Table.back();
        Table.pop_back();
        Unregister(e, nullptr);
    }
}

bool TOrvHotKeyManager::HasHotKey(uint32_t value) const {
    return std::any_of(Table.begin(), Table.end(), [&](const TEntry& e) { return e.Value == value; });
}

void TOrvHotKeyManager::WndProc(const platform::THotKeyPress& press) {
    uint32_t value = JoinHotKey(press.Modifiers, press.VirtualKey);
    for (const TEntry& e : Table)
        if (e.Value == value) {
            emit OnHotKeyPressed(value, press.Id);
            return;
        }
}

} // namespace kestrum
