#pragma once
#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

namespace kestrum {

// Receives the language broadcast (desktop/LanguageBroadcast.h) on Qt's own X connection: a ClientMessage
// of the broadcast's atom sent to a root window. Messages are handed on as they came (message id, wParam,
// lParam), on the UI thread; judging them is the receiver's owner's business.
class TX11LanguageBroadcast final : public QAbstractNativeEventFilter {
public:
    using TOnMessage = std::function<void(uint32_t message, uint32_t wParam, uint32_t lParam)>;
    // `connection` is the application's xcb_connection_t*; nullptr (no X server) receives nothing.
    TX11LanguageBroadcast(void* connection, TOnMessage onMessage);
    ~TX11LanguageBroadcast() override;
    TX11LanguageBroadcast(const TX11LanguageBroadcast&) = delete;
    TX11LanguageBroadcast& operator=(const TX11LanguageBroadcast&) = delete;

    // The broadcast's message id (the atom); 0 when there is no X server.
    uint32_t MessageId() const { return FAtom; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    TOnMessage FOnMessage;
    uint32_t FAtom = 0;
    bool FInstalled = false;
};

} // namespace kestrum
