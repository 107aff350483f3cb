#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace kestrum {

namespace platform {
class ISingleInstance;
}

// The name of the single-instance marker and of the hand-over channel.
inline constexpr const char* SingleInstanceName = "Orvcare_Kestrum_byPellor_@Orvane";

// Keeps one instance per user: the first start holds the marker and receives hand-overs on the UI thread;
// a later start hands its tab-selection code over and ends.
class TKSSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TKSSingleInstance(platform::ISingleInstance& backend, QObject* parent = nullptr);
    ~TKSSingleInstance() override;

    // True for the first instance (which then listens); false when another instance runs — the code was
    // handed to it (whether or not it arrived). `beforeHandOver` runs just before a hand-over is sent.
    bool Check(long long popupCode, const std::function<void()>& beforeHandOver = {});
    // Starts delivering hand-overs to `handler` from the event loop.
    void Listen(std::function<void(long long)> handler);
    // Stops listening and gives up the marker (the backend's own end releases it too).
    void Release();

private:
    platform::ISingleInstance& FBackend;
    std::unique_ptr<QSocketNotifier> FNotifier;
    std::function<void(long long)> FHandler;
};

} // namespace kestrum
