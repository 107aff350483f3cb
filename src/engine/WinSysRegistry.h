#pragma once
#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/IRegistry.h"

namespace kestrum {

// A value that could not be written after its key opened.
class ERegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "HKEY_CURRENT_USER" / "HKCU" ... (case ignored) to a root key; none for any other name.
std::optional<platform::TRootKey> RootKeyFromName(const QString& name);

// Writes a 32-bit value at "ROOT\sub\key": opens the key for writing (creating it and its parents when
// `create`), writes when the value exists, when `create`, or for the default value (empty name).
// False when the key could not be opened or the value was not there to overwrite; throws ERegistryError
// when the write itself failed.
bool WriteRegDWord(platform::IRegistry& registry, const QString& path, const QString& valueName, uint32_t value,
                   bool create);
// The same for binary data.
bool WriteRegBinary(platform::IRegistry& registry, const QString& path, const QString& valueName,
                    const std::vector<uint8_t>& bytes, bool create);

} // namespace kestrum
