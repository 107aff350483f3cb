#pragma once
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrum {

// The trigger text the desktop portal's global shortcuts take, such as CTRL+ALT+F1 or ALT+m, for a stored
// hotkey value; empty when the key has no name there (the desktop then lets the user choose).
QString HotKeyToPortalTrigger(uint32_t value);

// The global hotkey on Wayland, held by the desktop's shortcut portal instead of an X11 grab. One shortcut,
// bound again at every start (some desktops forget bindings); a press arrives as Activated().
class TPortalHotKey : public QObject {
    Q_OBJECT
public:
    enum class TState {
        Off,         // not asked, or given back
        Unavailable, // no portal with global shortcuts on the bus
        Binding,     // asked, no answer yet
        Bound,       // the desktop holds the shortcut
        Refused,     // the user cancelled, the portal failed, or the session was closed
    };

    static constexpr const char* ShortcutId = "optimize";

    TPortalHotKey(const QDBusConnection& bus, const QString& appId, QObject* parent = nullptr);
    ~TPortalHotKey() override;
    // On the session's existing bus (never started for this); nullptr without one.
    static TPortalHotKey* CreateForSession(const QString& appId, QObject* parent = nullptr);

    // Binds the shortcut with the value as the preferred trigger, replacing an earlier binding.
    void Bind(uint32_t value, const QString& description);
    // Gives the shortcut back to the desktop.
    void Release();

    TState State() const { return FState; }
    // The trigger as the desktop describes it once bound (may differ from the preferred one).
    QString Trigger() const { return FTrigger; }
    // Whether the desktop offers its own dialog for the bound shortcut (interface version 2 and later).
    bool CanConfigure() const { return FState == TState::Bound && FVersion >= 2 && !FSession.isEmpty(); }
    // Opens that dialog over `parentWindow` (the portal's window identifier; empty for none). The desktop
    // reports a changed trigger through its ShortcutsChanged signal.
    void Configure(const QString& parentWindow);

signals:
    void Activated();
    void StateChanged();

private slots:
    void ResponseReceived(const QDBusMessage& message);
    void ActivatedSignal(const QDBusMessage& message);
    void ShortcutsChangedSignal(const QDBusMessage& message);
    void SessionClosedSignal(const QDBusMessage& message);

private:
    using TResponse = std::function<void(uint32_t code, const QVariantMap& results)>;
    void SetState(TState state);
    void Fail(uint64_t generation);
    void Register(uint64_t generation);
    void CreateSession(uint64_t generation);
    void BindShortcuts(uint64_t generation);
    // Calls a portal method that answers through a request object; the answer goes to `then`.
    void Request(uint64_t generation, const QString& method, QVariantList args, QVariantMap options, TResponse then);
    QString RequestPath(const QString& token) const;
    QString NewToken();
    void CloseSession();
    void ReadTrigger(const QVariant& shortcuts);

    QDBusConnection FBus;
    QString FAppId;
    TState FState = TState::Off;
    QString FTrigger;
    QString FSession;
    QString FPreferred;
    QString FDescription;
    uint32_t FVersion = 0;    // of the portal's interface, as last asked
    uint64_t FGeneration = 0; // a newer Bind or Release makes late answers to older ones stale
    uint64_t FTokens = 0;
    struct TPending {
        QString Path;
        uint64_t Generation;
        TResponse Then;
    };
    std::vector<TPending> FPending;
};

} // namespace kestrum
