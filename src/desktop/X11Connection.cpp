#include "desktop/X11Connection.h"

#include <QGuiApplication>

namespace kestrum {

void* QtX11Connection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? static_cast<void*>(x11->connection()) : nullptr;
}

} // namespace kestrum
