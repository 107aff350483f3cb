#pragma once
#include <QObject>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/IHotKeys.h"

namespace kestrum {

class TX11HotKeyFilter;

// Registers system-wide hotkeys and reports their presses through OnHotKeyPressed.
class TOrvHotKeyManager : public QObject {
    Q_OBJECT
public:
    explicit TOrvHotKeyManager(platform::IHotKeys& hotKeys, QObject* owner = nullptr);
    ~TOrvHotKeyManager() override;

    // The registration id, or 0 when the system refuses the combination (taken by another program).
    uint16_t AddHotKey(uint32_t value);
    // Unregisters the first entry with this value; false when there is none or the system refuses.
    bool RemoveHotKey(uint32_t value);
    void RemoveAllHotKeys();
    // Whether a registration of this value is held.
    bool HasHotKey(uint32_t value) const;

    // One press delivered by the window system; fires OnHotKeyPressed only for values in the table.
    virtual void WndProc(const platform::THotKeyPress& press);

signals:
    void OnHotKeyPressed(uint32_t HotKey, uint16_t Index);

private:
    struct TEntry {
        uint32_t Value;
        uint16_t Id;
    };
    void Unregister(const TEntry& entry, bool* ok);

    platform::IHotKeys& HotKeys;
    std::vector<TEntry> Table;
    std::unique_ptr<TX11HotKeyFilter> Filter;
};

} // namespace kestrum
