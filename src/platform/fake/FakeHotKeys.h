#pragma once
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "platform/IHotKeys.h"
#include "platform/linux/X11HotKeyAtoms.h"

namespace kestrum::platform {

// Scripted key grabs: a combination in `Taken` is refused; a press is fed through TranslateEvent with a
// THotKeyPress* as the native event.
class TFakeHotKeys final : public IHotKeys {
public:
    struct TGrab {
        uint16_t Id;
        uint32_t Modifiers;
        uint8_t VirtualKey;
    };
    std::set<std::pair<uint32_t, uint8_t>> Taken; // (modifiers, virtual key) held by "another program"
    std::vector<TGrab> Grabs;
    bool UnregisterFails = false;
    TX11HotKeyAtoms Atoms;

    uint16_t AddAtom(const std::string& name) override { return Atoms.Add(name); }
    void DeleteAtom(uint16_t atom) override { Atoms.Delete(atom); }
    bool Register(uint16_t id, uint32_t modifiers, uint8_t vk) override {
        if (Taken.count({modifiers, vk})) return false;
        Grabs.push_back({id, modifiers, vk});
        return true;
    }
    bool Unregister(uint16_t id) override {
        for (auto it = Grabs.begin(); it != Grabs.end(); ++it)
            if (it->Id == id) {
                Grabs.erase(it);
                return !UnregisterFails;
            }
        return false;
    }
    std::optional<THotKeyPress> TranslateEvent(const void* nativeEvent) override {
        if (!nativeEvent) return std::nullopt;
        return *static_cast<const THotKeyPress*>(nativeEvent);
    }
};

} // namespace kestrum::platform
