#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/IRegistry.h"
#include "platform/linux/ProcFile.h"

namespace kestrum::platform {

namespace {

const char* RootName(TRootKey root) {
    switch (root) {
        case TRootKey::ClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case TRootKey::CurrentUser:
            return "HKEY_CURRENT_USER";
        case TRootKey::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
        case TRootKey::Users:
            return "HKEY_USERS";
        case TRootKey::PerformanceData:
            return "HKEY_PERFORMANCE_DATA";
        case TRootKey::CurrentConfig:
            return "HKEY_CURRENT_CONFIG";
        case TRootKey::DynData:
            return "HKEY_DYN_DATA";
    }
    return "";
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// "a\\b\\\\c\\" -> "a\\b\\c": empty names between separators carry no meaning.
std::string NormalizeKey(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

struct TKey {
    std::string Path;                                        // as first written
    std::vector<std::pair<std::string, std::string>> Values; // name, "dword:..." / "hex:..."
};

// The store: one text file in the .reg layout ("[ROOT\\key]", "\"name\"=dword:00000003", "@=hex:90,12").
// Key and value names compare without regard to case. Every write replaces the file atomically.
class TFileRegistry final : public IRegistry {
public:
    explicit TFileRegistry(std::string dataDir) : FDir(std::move(dataDir)) {
        if (!FDir.empty() && FDir.back() != '/') FDir += '/';
    }

    TRegKeyHandle OpenKey(TRootKey root, const std::string& subKey, bool create) override {
        std::lock_guard lock(FMutex);
        if (FDir.empty()) return 0;
        auto keys = Load();
        std::string full = RootName(root);
        const std::string sub = NormalizeKey(subKey);
        if (!sub.empty()) full += "\\" + sub;
        if (!keys.count(Lower(full))) {
            if (!create) return 0;
            // The key and every missing parent.
            std::string path;
            for (size_t pos = 0;;) {
                size_t next = full.find('\\', pos);
                path = full.substr(0, next);
                if (!keys.count(Lower(path))) keys[Lower(path)] = TKey{path, {}};
                if (next == std::string::npos) break;
                pos = next + 1;
            }
            if (!Save(keys)) return 0;
        }
        const TRegKeyHandle h = ++FLastHandle;
        FOpen[h] = Lower(full);
        return h;
    }

    bool ValueExists(TRegKeyHandle key, const std::string& name) override {
        std::lock_guard lock(FMutex);
        auto it = FOpen.find(key);
        if (it == FOpen.end()) return false;
        auto keys = Load();
        auto k = keys.find(it->second);
        if (k == keys.end()) return false;
        const std::string n = Lower(name);
        return std::any_of(k->second.Values.begin(), k->second.Values.end(),
                           [&](const auto& v) { return Lower(v.first) == n; });
    }

    bool WriteDWord(TRegKeyHandle key, const std::string& name, uint32_t value) override {
        char buf[32];
        std::snprintf(buf, sizeof buf, "dword:%08x", value);
        return Write(key, name, buf);
    }

    bool WriteBinary(TRegKeyHandle key, const std::string& name, const std::vector<uint8_t>& data) override {
        std::string text = "hex:";
        char buf[4];
        for (size_t i = 0; i < data.size(); ++i) {
            std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", data[i]);
            text += buf;
        }
        return Write(key, name, text);
    }

    void CloseKey(TRegKeyHandle key) override {
        std::lock_guard lock(FMutex);
        FOpen.erase(key);
    }

private:
    std::string FileName() const { return FDir + "Registry/registry.reg"; }

    std::map<std::string, TKey> Load() const {
        std::map<std::string, TKey> keys;
        std::istringstream in(proc::ReadSmallFile(FileName()));
        std::string line;
        TKey* current = nullptr;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
                std::string path = line.substr(1, line.size() - 2);
                current = &keys.try_emplace(Lower(path), TKey{path, {}}).first->second;
            } else if (current && !line.empty()) {
                std::string name;
                size_t eq;
                if (line[0] == '@') {
                    eq = 1;
                } else if (line[0] == '"') {
                    size_t close = line.find('"', 1);
                    if (close == std::string::npos) continue;
                    name = line.substr(1, close - 1);
                    eq = close + 1;
                } else {
                    continue;
                }
                if (eq >= line.size() || line[eq] != '=') continue;
                current->Values.emplace_back(name, line.substr(eq + 1));
            }
        }
        return keys;
    }

    bool Save(const std::map<std::string, TKey>& keys) const {
        std::string text = "Kestrum registry store\n";
        for (const auto& [lower, key] : keys) {
            text += "\n[" + key.Path + "]\n";
            for (const auto& [name, value] : key.Values)
                text += (name.empty() ? std::string("@") : "\"" + name + "\"") + "=" + value + "\n";
        }
        ::mkdir(FDir.c_str(), 0755);
        const std::string folder = FDir + "Registry";
        ::mkdir(folder.c_str(), 0755);
        // Our own folder only, and a fresh temporary (never a name someone could have put a link at).
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_uid != ::geteuid() && st.st_uid != 0) ||
            (st.st_mode & S_IWOTH))
            return false;
        std::string tmp = FileName() + ".XXXXXX";
        const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
        if (fd < 0) return false;
        ::fchmod(fd, 0644);
        bool ok = true;
        for (size_t done = 0; ok && done < text.size();) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok = false;
            else
                done += size_t(n);
        }
        ok = ::close(fd) == 0 && ok;
        if (ok && std::rename(tmp.c_str(), FileName().c_str()) == 0) return true;
        ::unlink(tmp.c_str());
        return false;
    }

    bool Write(TRegKeyHandle key, const std::string& name, const std::string& value) {
        std::lock_guard lock(FMutex);
        auto it = FOpen.find(key);
        // Names with quotes or line breaks cannot be stored in this layout.
        if (it == FOpen.end() || name.find_first_of("\"\r\n") != std::string::npos) return false;
        auto keys = Load();
        auto k = keys.find(it->second);
        if (k == keys.end()) return false; // deleted behind our back
        const std::string n = Lower(name);
        auto v = std::find_if(k->second.Values.begin(), k->second.Values.end(),
                              [&](const auto& x) { return Lower(x.first) == n; });
        if (v != k->second.Values.end())
            v->second = value;
        else
            k->second.Values.emplace_back(name, value);
        return Save(keys);
    }

    std::mutex FMutex;
    std::string FDir;
    std::map<TRegKeyHandle, std::string> FOpen;
    TRegKeyHandle FLastHandle = 0;
};

} // namespace

std::unique_ptr<IRegistry> MakeFileRegistry(const std::string& dataDir) {
    return std::make_unique<TFileRegistry>(dataDir);
}

} // namespace kestrum::platform
