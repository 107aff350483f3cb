#pragma once
#include <QAbstractNativeEventFilter>
#include <functional>

#include "platform/IHotKeys.h"

namespace kestrum {

// Hands the X events Qt reads on its own connection to the key-grab backend; presses of our grabs are passed
// on (on the UI thread, where Qt dispatches native events) and not processed further.
class TX11HotKeyFilter final : public QAbstractNativeEventFilter {
public:
    using TOnPress = std::function<void(const platform::THotKeyPress&)>;
    TX11HotKeyFilter(platform::IHotKeys& hotKeys, TOnPress onPress);
    ~TX11HotKeyFilter() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    platform::IHotKeys& HotKeys;
    TOnPress OnPress;
};

} // namespace kestrum
