#include "app/KSSingleInst.h"

#include <QSocketNotifier>

#include "platform/ISingleInstance.h"

namespace kestrum {

TKSSingleInstance::TKSSingleInstance(platform::ISingleInstance& backend, QObject* parent)
    : QObject(parent), FBackend(backend) {}

// The marker stays with the backend: a temporary checker must not give it up.
TKSSingleInstance::~TKSSingleInstance() = default;

bool TKSSingleInstance::Check(long long popupCode, const std::function<void()>& beforeHandOver) {
    if (FBackend.Acquire(SingleInstanceName)) return true;
    if (beforeHandOver) beforeHandOver();
    FBackend.Send(SingleInstanceName, popupCode);
    return false;
}

void TKSSingleInstance::Listen(std::function<void(long long)> handler) {
    FHandler = std::move(handler);
    FBackend.Listen([this](int64_t code) {
        if (FHandler) FHandler(code);
    });
    int fd = FBackend.PollDescriptor();
    if (fd >= 0) {
        FNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { FBackend.Poll(); });
    }
}

void TKSSingleInstance::Release() {
    FNotifier.reset();
    FBackend.Release();
}

} // namespace kestrum
