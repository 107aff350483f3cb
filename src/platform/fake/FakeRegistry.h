#pragma once
#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/IRegistry.h"

namespace kestrum::platform {

// An in-memory registry: keys by root and lower-cased path, values as DWORD or bytes. Roots in
// `DeniedRoots` cannot be opened; values named in `FailingValues` fail to write.
class TFakeRegistry final : public IRegistry {
public:
    struct TValue {
        bool IsDWord = false;
        uint32_t DWord = 0;
        std::vector<uint8_t> Bytes;
        bool operator==(const TValue&) const = default;
    };
    using TKeyId = std::pair<TRootKey, std::string>;
    std::map<TKeyId, std::map<std::string, TValue>> Keys;
    std::set<TRootKey> DeniedRoots;
    std::set<std::string> FailingValues; // lower-case value names
    std::vector<std::string> WriteLog;   // "root-number\\key\\name" in write order
    int OpenHandles = 0;

    static std::string Lower(std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        return s;
    }

    TRegKeyHandle OpenKey(TRootKey root, const std::string& subKey, bool create) override {
        if (DeniedRoots.count(root)) return 0;
        TKeyId id{root, Lower(subKey)};
        if (!Keys.count(id)) {
            if (!create) return 0;
            Keys[id];
        }
        Handles[++Last] = id;
        ++OpenHandles;
        return Last;
    }
    bool ValueExists(TRegKeyHandle key, const std::string& name) override {
        auto it = Handles.find(key);
        return it != Handles.end() && Keys[it->second].count(Lower(name));
    }
    bool WriteDWord(TRegKeyHandle key, const std::string& name, uint32_t value) override {
        return Write(key, name, TValue{true, value, {}});
    }
    bool WriteBinary(TRegKeyHandle key, const std::string& name, const std::vector<uint8_t>& data) override {
        return Write(key, name, TValue{false, 0, data});
    }
    void CloseKey(TRegKeyHandle key) override {
        if (Handles.erase(key)) --OpenHandles;
    }

private:
    bool Write(TRegKeyHandle key, const std::string& name, const TValue& v) {
        auto it = Handles.find(key);
        if (it == Handles.end() || FailingValues.count(Lower(name))) return false;
        Keys[it->second][Lower(name)] = v;
        WriteLog.push_back(std::to_string(int(it->second.first)) + "\\" + it->second.second + "\\" + name);
        return true;
    }
    std::map<TRegKeyHandle, TKeyId> Handles;
    TRegKeyHandle Last = 0;
};

} // namespace kestrum::platform
