#include "desktop/X11HotKeyFilter.h"

#include <QCoreApplication>

namespace kestrum {

TX11HotKeyFilter::TX11HotKeyFilter(platform::IHotKeys& hotKeys, TOnPress onPress)
    : HotKeys(hotKeys), OnPress(std::move(onPress)) {
    if (auto* app = QCoreApplication::instance()) app->installNativeEventFilter(this);
}

TX11HotKeyFilter::~TX11HotKeyFilter() {
    if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
}

bool TX11HotKeyFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto press = HotKeys.TranslateEvent(message);
    if (!press) return false;
    if (OnPress) OnPress(*press);
    return true;
}

} // namespace kestrum
