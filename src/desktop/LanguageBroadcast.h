#pragma once
// The language broadcast other programs send to a running Kestrum: a registered message named
// LanguageBroadcastName whose wParam is not 0 and whose lParam carries a check value in its low 16 bits
// (the low 16 bits of the message id itself) and the new language id in its high 16 bits. On X11 the
// message id is the interned atom of the name, and wParam, lParam are the first two 32-bit data items of a
// ClientMessage sent to the root window. Standard C++ only: the headless companion includes it too.
#include <cstdint>
#include <optional>

namespace kestrum {

inline constexpr const char* LanguageBroadcastName = "QXCIDSTR_BroadcastLanguageChanged";

// The lParam announcing `languageId` for the message id `messageId`.
inline constexpr uint32_t LanguageBroadcastLParam(uint32_t messageId, uint16_t languageId) {
    return (uint32_t(languageId) << 16) | (messageId & 0xFFFFu);
}

// The language a message announces; nothing when it is another message, wParam is 0 or the check value
// does not match.
inline constexpr std::optional<uint16_t> LanguageFromBroadcast(uint32_t expectedId, uint32_t messageId, uint32_t wParam,
                                                               uint32_t lParam) {
    if (messageId != expectedId || wParam == 0) return std::nullopt;
    if ((lParam & 0xFFFFu) != (messageId & 0xFFFFu)) return std::nullopt;
    return uint16_t(lParam >> 16);
}

} // namespace kestrum
