#include <gtest/gtest.h>

#include <QFile>

#include "common/TestHome.h"
#include "engine/KSSystemOpti.h"
#include "engine/WinSysRegistry.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/FakeServiceManager.h"
#include "platform/fake/FakeSystemParameters.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

// Puts registry writes, parameter calls and service starts into one log, to check their order.
struct TLog {
    std::vector<std::string> Lines;
};
class TLoggingRegistry final : public IRegistry {
public:
    TLoggingRegistry(IRegistry& inner, TLog& log) : FInner(inner), FLog(log) {}
    TRegKeyHandle OpenKey(TRootKey r, const std::string& k, bool c) override { return FInner.OpenKey(r, k, c); }
    bool ValueExists(TRegKeyHandle k, const std::string& n) override { return FInner.ValueExists(k, n); }
    bool WriteDWord(TRegKeyHandle k, const std::string& n, uint32_t v) override {
        FLog.Lines.push_back("reg " + n + "=" + std::to_string(v));
        return FInner.WriteDWord(k, n, v);
    }
    bool WriteBinary(TRegKeyHandle k, const std::string& n, const std::vector<uint8_t>& d) override {
        FLog.Lines.push_back("reg " + n + "=bin" + std::to_string(d.size()));
        return FInner.WriteBinary(k, n, d);
    }
    void CloseKey(TRegKeyHandle k) override { FInner.CloseKey(k); }

private:
    IRegistry& FInner;
    TLog& FLog;
};
class TLoggingParameters final : public ISystemParameters {
public:
    explicit TLoggingParameters(TLog& log) : FLog(log) {}
    bool SetSystemParameter(const TSystemParameterCall& c) override {
        char buf[64];
        std::snprintf(buf, sizeof buf, "spi %04X %u %llu", c.Action, c.UiParam,
                      static_cast<unsigned long long>(c.PvValue));
        FLog.Lines.push_back(buf + (c.PvData.empty() ? std::string() : " data" + std::to_string(c.PvData.size())));
        Calls.push_back(c);
        return true;
    }
    std::vector<TSystemParameterCall> Calls;

private:
    TLog& FLog;
};

class TuningTest : public ::testing::Test {
protected:
    TuningTest() : Logged(Registry, Log), Parameters(Log) {
        Services.OnStart = [this] { Log.Lines.push_back("start Themes"); };
        Services.Statuses = {TServiceStatus{SERVICE_STATE_STOPPED, 0}, TServiceStatus{SERVICE_STATE_RUNNING, 0}};
    }
    TSystemSettingsContext Context() { return {Logged, Parameters, Services, Clock}; }

    TLog Log;
    TFakeRegistry Registry;
    TLoggingRegistry Logged;
    TLoggingParameters Parameters;
    TFakeServiceManager Services;
    TFakeClock Clock;
};

} // namespace

TEST_F(TuningTest, MemoryAllocationWritesSeventeenStepsInOrder) {
    ASSERT_TRUE(TuneMemoryAllocation(Context()));
    const std::vector<std::string> expected = {
        "reg VisualFXSetting=3",
        "reg UserPreferencesMask=bin4",
        "spi 004B 1 0",
        "reg ListviewShadow=1",
        "reg WebView=1",
        "start Themes",
        "spi 0049 8 0 data8",
        "spi 1015 0 0",
        "spi 101B 0 0",
        "spi 0025 0 0",
        "spi 1005 0 0",
        "spi 1007 0 0",
        "reg ListviewAlphaSelect=0",
        "reg ListviewWatermark=0",
        "reg TaskbarAnimations=0",
        "spi 1003 0 0",
        "spi 1017 0 0",
    };
    EXPECT_EQ(Log.Lines, expected);
    EXPECT_EQ(Parameters.Calls[1].PvData, (std::vector<uint8_t>{8, 0, 0, 0, 0, 0, 0, 0})); // iMinAnimate 0
    for (const auto& c : Parameters.Calls) EXPECT_EQ(c.WinIni, 0u);

    const auto& desktop = Registry.Keys[{TRootKey::CurrentUser, "control panel\\desktop"}];
    EXPECT_EQ(desktop.at("userpreferencesmask").Bytes, (std::vector<uint8_t>{0x90, 0x12, 0x03, 0x80}));
    EXPECT_TRUE(Registry.Keys.count(
        {TRootKey::CurrentUser, "software\\microsoft\\windows\\currentversion\\explorer\\visualeffects"}));
    EXPECT_EQ(Registry.OpenHandles, 0);
}

TEST_F(TuningTest, FailuresOfParametersAndServiceDoNotStopTheSteps) {
    Services.Services.clear(); // no "Themes" service
    TFakeSystemParameters failing;
    failing.Succeeds = false;
    TSystemSettingsContext c{Registry, failing, Services, Clock};
    EXPECT_TRUE(TuneMemoryAllocation(c));
    EXPECT_EQ(failing.Calls.size(), 9u);
    EXPECT_EQ(Registry.WriteLog.size(), 7u);
}

TEST_F(TuningTest, ValueWriteErrorSkipsTheRemainingSteps) {
    Registry.FailingValues = {"webview"};
    EXPECT_FALSE(TuneMemoryAllocation(Context()));
    EXPECT_EQ(Log.Lines.size(), 5u); // the failing write was the last one tried
    EXPECT_EQ(Log.Lines.back(), "reg WebView=1");
    EXPECT_EQ(Registry.OpenHandles, 0);
}

TEST_F(TuningTest, CpuAllocationAndMissingRights) {
    EXPECT_TRUE(TuneCpuAllocation(Context()));
    EXPECT_EQ(Log.Lines, std::vector<std::string>{"reg Win32PrioritySeparation=37"});
    EXPECT_EQ((Registry.Keys[{TRootKey::LocalMachine, "system\\currentcontrolset\\control\\prioritycontrol"}]
                   .at("win32priorityseparation")
                   .DWord),
              37u);

    TFakeRegistry denied;
    denied.DeniedRoots = {TRootKey::LocalMachine};
    TFakeSystemParameters p;
    EXPECT_TRUE(TuneCpuAllocation({denied, p, Services, Clock})); // the optimization goes on
    EXPECT_TRUE(denied.Keys.empty());
}

TEST(WinSysRegistry, RootKeyNames) {
    struct TCase {
        QString Name;
        std::optional<TRootKey> Key;
    } cases[] = {
        {"HKEY_CLASSES_ROOT", TRootKey::ClassesRoot},
        {"hkcr", TRootKey::ClassesRoot},
        {"HKEY_CURRENT_USER", TRootKey::CurrentUser},
        {"HKCU", TRootKey::CurrentUser},
        {"hkey_local_machine", TRootKey::LocalMachine},
        {"HKLM", TRootKey::LocalMachine},
        {"HKEY_USERS", TRootKey::Users},
        {"HKU", TRootKey::Users},
        {"HKEY_PERFORMANCE_DATA", TRootKey::PerformanceData},
        {"HKPD", TRootKey::PerformanceData},
        {"HKEY_CURRENT_CONFIG", TRootKey::CurrentConfig},
        {"HKCC", TRootKey::CurrentConfig},
        {"HKEY_DYN_DATA", TRootKey::DynData},
        {"HKDD", TRootKey::DynData},
        {"HKEY_CURRENT_USERS", std::nullopt},
        {"", std::nullopt},
        {" HKCU", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(RootKeyFromName(c.Name), c.Key) << c.Name.toStdString();
}

TEST(WinSysRegistry, WriteRulesWithoutCreate) {
    TFakeRegistry r;
    EXPECT_FALSE(WriteRegDWord(r, "HKCU\\Missing", "V", 1, false)); // key not there
    EXPECT_TRUE(r.Keys.empty());
    EXPECT_TRUE(WriteRegDWord(r, "HKCU\\K", "V", 1, true));
    EXPECT_FALSE(WriteRegDWord(r, "HKCU\\K", "Other", 2, false)); // value not there
    EXPECT_TRUE(WriteRegDWord(r, "HKCU\\K", "v", 3, false));      // exists (case ignored)
    EXPECT_TRUE(WriteRegBinary(r, "HKCU\\K", "", {1, 2}, false)); // the default value
    EXPECT_FALSE(WriteRegDWord(r, "NOROOT\\K", "V", 1, true));
    EXPECT_TRUE(WriteRegDWord(r, "HKCU", "AtRoot", 4, true)); // no subkey: the root itself
    EXPECT_EQ((r.Keys[{TRootKey::CurrentUser, "k"}].at("v").DWord), 3u);
    EXPECT_EQ(r.OpenHandles, 0);
    r.FailingValues = {"v"};
    EXPECT_THROW(WriteRegDWord(r, "HKCU\\K", "V", 5, true), ERegistryError);
    EXPECT_EQ(r.OpenHandles, 0);
}

TEST(FileRegistry, StoresBelowDataFolderAndRepeatsIdentically) {
    test::TTestHome home;
    auto registry = MakeFileRegistry(home.Path().toStdString());
    TFakeSystemParameters params;
    TFakeServiceManager services;
    TFakeClock clock;
    TSystemSettingsContext c{*registry, params, services, clock};
    ASSERT_TRUE(TuneMemoryAllocation(c));
    ASSERT_TRUE(TuneCpuAllocation(c));
    QFile file(home.File("Registry/registry.reg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray once = file.readAll();
    file.close();
    EXPECT_TRUE(
        once.contains("[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n\"UserPreferencesMask\"=hex:90,12,03,80\n"));
    EXPECT_TRUE(once.contains("\"Win32PrioritySeparation\"=dword:00000025\n"));
    EXPECT_TRUE(once.contains("[HKEY_LOCAL_MACHINE\\SYSTEM]\n")); // parents created

    ASSERT_TRUE(TuneMemoryAllocation(c));
    ASSERT_TRUE(TuneCpuAllocation(c));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), once);
    file.close();

    // A new instance reads what the first one wrote; names compare without regard to case.
    auto again = MakeFileRegistry(home.Path().toStdString());
    TRegKeyHandle k = again->OpenKey(TRootKey::CurrentUser, "control panel\\DESKTOP", false);
    ASSERT_NE(k, 0u);
    EXPECT_TRUE(again->ValueExists(k, "userpreferencesmask"));
    EXPECT_FALSE(again->ValueExists(k, "nothing"));
    again->CloseKey(k);
    EXPECT_EQ(again->OpenKey(TRootKey::Users, "Nope", false), 0u);
    EXPECT_EQ(MakeFileRegistry("")->OpenKey(TRootKey::CurrentUser, "X", true), 0u);
}
