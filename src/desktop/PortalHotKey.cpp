#include "desktop/PortalHotKey.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFileInfo>

#include "desktop/HotKeyText.h"

namespace {

// One entry of the portal's a(sa{sv}) shortcut lists.
struct TPortalShortcut {
    QString Id;
    QVariantMap Properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const TPortalShortcut& s) {
    arg.beginStructure();
    arg << s.Id << s.Properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TPortalShortcut& s) {
    arg.beginStructure();
    arg >> s.Id >> s.Properties;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(TPortalShortcut)

namespace kestrum {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

// xkb key names for the key codes a hotkey may use.
QString XkbKeyName(uint8_t vk) {
    if (vk >= '0' && vk <= '9') return QString(QChar(vk));
    if (vk >= 'A' && vk <= 'Z') return QString(QChar(vk - 'A' + 'a'));
    if (vk >= 0x60 && vk <= 0x69) return QStringLiteral("KP_%1").arg(vk - 0x60);
    if (vk >= 0x70 && vk <= 0x87) return QStringLiteral("F%1").arg(vk - 0x70 + 1);
    static const char* const media[] = {"XF86Back",
                                        "XF86Forward",
                                        "XF86Refresh",
                                        "XF86Stop",
                                        "XF86Search",
                                        "XF86Favorites",
                                        "XF86HomePage",
                                        "XF86AudioMute",
                                        "XF86AudioLowerVolume",
                                        "XF86AudioRaiseVolume",
                                        "XF86AudioNext",
                                        "XF86AudioPrev",
                                        "XF86AudioStop",
                                        "XF86AudioPlay",
                                        "XF86Mail",
                                        "XF86AudioMedia",
                                        "XF86MyComputer",
                                        "XF86Calculator"};
    if (IsMediaKey(vk)) return QString::fromLatin1(media[vk - 166]);
    struct TName {
        uint8_t Vk;
        const char* Name;
    };
    static const TName names[] = {
        {0x08, "BackSpace"},  {0x09, "Tab"},          {0x0C, "KP_Begin"},   {0x0D, "Return"},
        {0x13, "Pause"},      {0x14, "Caps_Lock"},    {0x1B, "Escape"},     {0x20, "space"},
        {0x21, "Prior"},      {0x22, "Next"},         {0x23, "End"},        {0x24, "Home"},
        {0x25, "Left"},       {0x26, "Up"},           {0x27, "Right"},      {0x28, "Down"},
        {0x2C, "Print"},      {0x2D, "Insert"},       {0x2E, "Delete"},     {0x5D, "Menu"},
        {0x5F, "XF86Sleep"},  {0x6A, "KP_Multiply"},  {0x6B, "KP_Add"},     {0x6D, "KP_Subtract"},
        {0x6E, "KP_Decimal"}, {0x6F, "KP_Divide"},    {0x90, "Num_Lock"},   {0x91, "Scroll_Lock"},
        {0xBA, "semicolon"},  {0xBB, "equal"},        {0xBC, "comma"},      {0xBD, "minus"},
        {0xBE, "period"},     {0xBF, "slash"},        {0xC0, "grave"},      {0xDB, "bracketleft"},
        {0xDC, "backslash"},  {0xDD, "bracketright"}, {0xDE, "apostrophe"}, {0xE2, "less"},
    };
    for (const TName& n : names)
        if (n.Vk == vk) return QString::fromLatin1(n.Name);
    return {};
}

QVariantMap ToMap(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v.toMap();
}

QString ToPath(const QVariant& v) {
    if (v.canConvert<QDBusObjectPath>()) return v.value<QDBusObjectPath>().path();
    if (v.canConvert<QDBusArgument>()) {
        QDBusObjectPath p;
        v.value<QDBusArgument>() >> p;
        return p.path();
    }
    return v.toString();
}

} // namespace

QString HotKeyToPortalTrigger(uint32_t value) {
    const QString key = XkbKeyName(static_cast<uint8_t>(value & 0xFF));
    if (key.isEmpty()) return {};
    QString prefix;
    if (value & HotKey_Ctrl) prefix += u"CTRL+"_qs;
    if (value & HotKey_Alt) prefix += u"ALT+"_qs;
    if (value & HotKey_Shift) prefix += u"SHIFT+"_qs;
    if (value & HotKey_Win) prefix += u"LOGO+"_qs;
    return prefix + key;
}

TPortalHotKey::TPortalHotKey(const QDBusConnection& bus, const QString& appId, QObject* parent)
    : QObject(parent), FBus(bus), FAppId(appId) {
    qDBusRegisterMetaType<TPortalShortcut>();
    qDBusRegisterMetaType<QList<TPortalShortcut>>();
    if (!FBus.isConnected()) return;
    FBus.connect(kService, kPath, kInterface, u"Activated"_qs, this, SLOT(ActivatedSignal(QDBusMessage)));
    FBus.connect(kService, kPath, kInterface, u"ShortcutsChanged"_qs, this, SLOT(ShortcutsChangedSignal(QDBusMessage)));
    // A portal that ends takes its sessions with it.
    auto* watcher = new QDBusServiceWatcher(kService, FBus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (FState != TState::Binding && FState != TState::Bound) return;
        ++FGeneration;
        FSession.clear();
        FTrigger.clear();
        SetState(TState::Refused);
    });
}

TPortalHotKey::~TPortalHotKey() {
    CloseSession();
}

TPortalHotKey* TPortalHotKey::CreateForSession(const QString& appId, QObject* parent) {
    // Only a bus the session already has: none is ever started for this.
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (address.isEmpty() && !runtime.isEmpty() && QFileInfo::exists(runtime + u"/bus"_qs))
        address = u"unix:path="_qs + runtime + u"/bus"_qs;
    if (address.isEmpty()) return nullptr;
    // Named after the address: a connection kept under a bare name would still lead to an earlier bus.
    QDBusConnection bus = QDBusConnection::connectToBus(address, u"kestrum-portal-hotkey "_qs + address);
    if (!bus.isConnected()) return nullptr;
    return new TPortalHotKey(bus, appId, parent);
}

void TPortalHotKey::SetState(TState state) {
    FState = state;
    emit StateChanged();
}

void TPortalHotKey::Bind(uint32_t value, const QString& description) {
    const uint64_t generation = ++FGeneration;
    CloseSession();
    FTrigger.clear();
    FPreferred = HotKeyToPortalTrigger(value);
    FDescription = description;
    if (!FBus.isConnected()) {
        SetState(TState::Unavailable);
        return;
    }
    SetState(TState::Binding);
    // The interface's version says whether this portal offers global shortcuts at all.
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, kPath, u"org.freedesktop.DBus.Properties"_qs, u"Get"_qs);
    get << kInterface << u"version"_qs;
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(get, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (generation != FGeneration) return;
        const QDBusMessage reply = w->reply();
        uint version = 0;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            version = reply.arguments().first().value<QDBusVariant>().variant().toUInt();
        FVersion = version;
        if (version == 0) {
            SetState(TState::Unavailable);
            return;
        }
        Register(generation);
    });
}

// Newer portals refuse callers without an application id unless they name one here; older ones have no
// registry, and a refusal changes nothing either: carry on.
void TPortalHotKey::Register(uint64_t generation) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, u"org.freedesktop.host.portal.Registry"_qs, u"Register"_qs);
    call << FAppId << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (generation == FGeneration) CreateSession(generation);
    });
}

void TPortalHotKey::CreateSession(uint64_t generation) {
    Request(generation, u"CreateSession"_qs, {}, {{u"session_handle_token"_qs, NewToken()}},
            [this, generation](uint32_t code, const QVariantMap& results) {
                const QString session = ToPath(results.value(u"session_handle"_qs));
                if (code != 0 || session.isEmpty()) return Fail(generation);
                FSession = session;
                FBus.connect(kService, FSession, kSession, u"Closed"_qs, this, SLOT(SessionClosedSignal(QDBusMessage)));
                BindShortcuts(generation);
            });
}

void TPortalHotKey::BindShortcuts(uint64_t generation) {
    QVariantMap properties{{u"description"_qs, FDescription}};
    if (!FPreferred.isEmpty()) properties.insert(u"preferred_trigger"_qs, FPreferred);
    const QList<TPortalShortcut> shortcuts{{QString::fromLatin1(ShortcutId), properties}};
    Request(generation, u"BindShortcuts"_qs,
            {QVariant::fromValue(QDBusObjectPath(FSession)), QVariant::fromValue(shortcuts), QString()}, {},
            [this, generation](uint32_t code, const QVariantMap& results) {
                if (code != 0) return Fail(generation);
                ReadTrigger(results.value(u"shortcuts"_qs));
                SetState(TState::Bound);
            });
}

void TPortalHotKey::Request(uint64_t generation, const QString& method, QVariantList args, QVariantMap options,
                            TResponse then) {
    const QString token = NewToken();
    options.insert(u"handle_token"_qs, token);
    // Listen before asking: the answer may come before the call's own reply.
    const QString path = RequestPath(token);
    FBus.connect(kService, path, kRequest, u"Response"_qs, this, SLOT(ResponseReceived(QDBusMessage)));
    FPending.push_back({path, generation, std::move(then)});
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    args << options;
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path, generation](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        auto it = std::find_if(FPending.begin(), FPending.end(), [&](const TPending& p) { return p.Path == path; });
        if (reply.type() != QDBusMessage::ReplyMessage) {
            if (it != FPending.end()) FPending.erase(it);
            FBus.disconnect(kService, path, kRequest, u"Response"_qs, this, SLOT(ResponseReceived(QDBusMessage)));
            return Fail(generation);
        }
        // Older portals chose the request's path themselves.
        const QString actual = reply.arguments().isEmpty() ? QString() : ToPath(reply.arguments().first());
        if (it != FPending.end() && !actual.isEmpty() && actual != path) {
            it->Path = actual;
            FBus.connect(kService, actual, kRequest, u"Response"_qs, this, SLOT(ResponseReceived(QDBusMessage)));
        }
    });
}

void TPortalHotKey::ResponseReceived(const QDBusMessage& message) {
    const QString path = message.path();
    auto it = std::find_if(FPending.begin(), FPending.end(), [&](const TPending& p) { return p.Path == path; });
    if (it == FPending.end()) return;
    TPending pending = std::move(*it);
    FPending.erase(it);
    FBus.disconnect(kService, path, kRequest, u"Response"_qs, this, SLOT(ResponseReceived(QDBusMessage)));
    const QVariantList args = message.arguments();
    const uint32_t code = args.isEmpty() ? 2 : args.at(0).toUInt();
    const QVariantMap results = args.size() > 1 ? ToMap(args.at(1)) : QVariantMap();
    if (pending.Generation != FGeneration) {
        // A session made for a binding that was replaced meanwhile is given back at once.
        const QString stale = ToPath(results.value(u"session_handle"_qs));
        if (code == 0 && !stale.isEmpty() && stale != FSession)
            FBus.asyncCall(QDBusMessage::createMethodCall(kService, stale, kSession, u"Close"_qs));
        return;
    }
    pending.Then(code, results);
}

void TPortalHotKey::Fail(uint64_t generation) {
    if (generation != FGeneration) return;
    CloseSession();
    FTrigger.clear();
    SetState(TState::Refused);
}

void TPortalHotKey::Release() {
    ++FGeneration;
    CloseSession();
    FTrigger.clear();
    if (FState != TState::Unavailable) SetState(TState::Off);
}

void TPortalHotKey::Configure(const QString& parentWindow) {
    if (!CanConfigure()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, u"ConfigureShortcuts"_qs);
    call << QVariant::fromValue(QDBusObjectPath(FSession)) << parentWindow << QVariantMap();
    FBus.asyncCall(call);
}

void TPortalHotKey::CloseSession() {
    if (FSession.isEmpty()) return;
    FBus.disconnect(kService, FSession, kSession, u"Closed"_qs, this, SLOT(SessionClosedSignal(QDBusMessage)));
    FBus.asyncCall(QDBusMessage::createMethodCall(kService, FSession, kSession, u"Close"_qs));
    FSession.clear();
}

void TPortalHotKey::ActivatedSignal(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (FState != TState::Bound || args.size() < 2) return;
    if (ToPath(args.at(0)) == FSession && args.at(1).toString() == QLatin1String(ShortcutId)) emit Activated();
}

void TPortalHotKey::ShortcutsChangedSignal(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (FState != TState::Bound || args.size() < 2 || ToPath(args.at(0)) != FSession) return;
    ReadTrigger(args.at(1));
    emit StateChanged();
}

void TPortalHotKey::SessionClosedSignal(const QDBusMessage& message) {
    if (message.path() != FSession) return;
    ++FGeneration;
    FBus.disconnect(kService, FSession, kSession, u"Closed"_qs, this, SLOT(SessionClosedSignal(QDBusMessage)));
    FSession.clear();
    FTrigger.clear();
    SetState(TState::Refused);
}

void TPortalHotKey::ReadTrigger(const QVariant& shortcuts) {
    QList<TPortalShortcut> list;
    if (shortcuts.canConvert<QDBusArgument>())
        shortcuts.value<QDBusArgument>() >> list;
    else
        list = shortcuts.value<QList<TPortalShortcut>>();
    for (const TPortalShortcut& s : list)
        if (s.Id == QLatin1String(ShortcutId)) FTrigger = s.Properties.value(u"trigger_description"_qs).toString();
}

QString TPortalHotKey::RequestPath(const QString& token) const {
    QString sender = FBus.baseService();
    sender.remove(u':');
    sender.replace(u'.', u'_');
    return kPath + u"/request/"_qs + sender + u'/' + token;
}

QString TPortalHotKey::NewToken() {
    return u"kestrum%1_%2"_qs.arg(QCoreApplication::applicationPid()).arg(++FTokens);
}

} // namespace kestrum
