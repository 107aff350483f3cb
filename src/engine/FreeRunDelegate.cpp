#include "engine/FreeRunDelegate.h"

#include <mutex>

namespace kestrum {

namespace {
std::mutex& DelegateMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<IFreeRunDelegate>& DelegateSlot() {
    static std::shared_ptr<IFreeRunDelegate> slot;
    return slot;
}
} // namespace

void SetFreeRunDelegate(std::shared_ptr<IFreeRunDelegate> delegate) {
    std::lock_guard lock(DelegateMutex());
    DelegateSlot() = std::move(delegate);
}

std::shared_ptr<IFreeRunDelegate> FreeRunDelegate() {
    std::lock_guard lock(DelegateMutex());
    return DelegateSlot();
}

} // namespace kestrum
