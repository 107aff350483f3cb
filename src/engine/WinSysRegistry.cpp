#include "engine/WinSysRegistry.h"

#include <functional>

namespace kestrum {

namespace {

struct TRootName {
    const char16_t* Long;
    const char16_t* Short;
    platform::TRootKey Key;
};
constexpr TRootName kRoots[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", platform::TRootKey::ClassesRoot},
    {u"HKEY_CURRENT_USER", u"HKCU", platform::TRootKey::CurrentUser},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", platform::TRootKey::LocalMachine},
    {u"HKEY_USERS", u"HKU", platform::TRootKey::Users},
    {u"HKEY_PERFORMANCE_DATA", u"HKPD", platform::TRootKey::PerformanceData},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", platform::TRootKey::CurrentConfig},
    {u"HKEY_DYN_DATA", u"HKDD", platform::TRootKey::DynData},
};

// Opens the key of `path`, runs `write` when the value may be written, closes the key on every path.
bool WriteValue(platform::IRegistry& registry, const QString& path, const QString& valueName, bool create,
                const std::function<bool(platform::TRegKeyHandle, const std::string&)>& write) {
    const qsizetype slash = path.indexOf(u'\\');
    const QString rootName = slash < 0 ? path : path.left(slash);
    const QString subKey = slash < 0 ? QString() : path.mid(slash + 1);
    const auto root = RootKeyFromName(rootName);
    if (!root) return false;
    const platform::TRegKeyHandle key = registry.OpenKey(*root, subKey.toStdString(), create);
    if (!key) return false;
    struct TCloser {
        platform::IRegistry& R;
        platform::TRegKeyHandle K;
        ~TCloser() { R.CloseKey(K); }
    } closer{registry, key};
    const std::string name = valueName.toStdString();
    if (!(create || name.empty() || registry.ValueExists(key, name))) return false;
    if (!write(key, name)) throw ERegistryError("cannot write registry value " + path.toStdString() + "\\" + name);
    return true;
}

} // namespace

std::optional<platform::TRootKey> RootKeyFromName(const QString& name) {
    for (const auto& r : kRoots) {
        if (name.compare(QString::fromUtf16(r.Long), Qt::CaseInsensitive) == 0 ||
            name.compare(QString::fromUtf16(r.Short), Qt::CaseInsensitive) == 0)
            return r.Key;
    }
    return std::nullopt;
}

bool WriteRegDWord(platform::IRegistry& registry, const QString& path, const QString& valueName, uint32_t value,
                   bool create) {
    return WriteValue(registry, path, valueName, create, [&](platform::TRegKeyHandle key, const std::string& name) {
        return registry.WriteDWord(key, name, value);
    });
}

bool WriteRegBinary(platform::IRegistry& registry, const QString& path, const QString& valueName,
                    const std::vector<uint8_t>& bytes, bool create) {
    return WriteValue(registry, path, valueName, create, [&](platform::TRegKeyHandle key, const std::string& name) {
        return registry.WriteBinary(key, name, bytes);
    });
}

} // namespace kestrum
