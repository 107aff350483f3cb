#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace kestrum::platform {

// Reference-counted name → 16-bit id table, the ids of key grabs. Ids start at 0xC000 like the string atoms
// of other systems, so they never collide with small numbers a caller may use as "none".
class TX11HotKeyAtoms {
public:
    uint16_t Add(const std::string& name) {
        auto it = ByName.find(name);
        if (it != ByName.end()) {
            ++it->second.Count;
            return it->second.Id;
        }
        for (uint32_t id = First; id <= 0xFFFF; ++id) {
            if (Names.count(static_cast<uint16_t>(id))) continue;
            ByName[name] = {static_cast<uint16_t>(id), 1};
            Names[static_cast<uint16_t>(id)] = name;
            return static_cast<uint16_t>(id);
        }
        return 0;
    }
    void Delete(uint16_t id) {
        auto n = Names.find(id);
        if (n == Names.end()) return;
        auto it = ByName.find(n->second);
        if (--it->second.Count == 0) {
            ByName.erase(it);
            Names.erase(n);
        }
    }
    size_t Size() const { return Names.size(); }

private:
    static constexpr uint32_t First = 0xC000;
    struct TEntry {
        uint16_t Id;
        uint32_t Count;
    };
    std::map<std::string, TEntry> ByName;
    std::map<uint16_t, std::string> Names;
};

} // namespace kestrum::platform
