#include "platform/Platform.h"

namespace kestrum::platform {

TPlatform MakeLinuxPlatform(const TLinuxPlatformOptions& o) {
    TPlatform p;
    p.Clock = MakeLinuxClock();
    p.Shell = MakeLinuxShell();
    p.SingleInstance = MakeLinuxSingleInstance(o.RuntimeDir);
    p.FileVersion = MakeLinuxFileVersion(o.OwnVersion);
    p.SystemInfo = MakeLinuxSystemInfo(o.ProcRoot);
    p.Processes = MakeLinuxProcesses(o.ProcRoot, o.SysRoot);
    p.Desktop = MakeX11Desktop(o.XcbConnection);
    p.HotKeys = MakeX11HotKeys(o.XcbConnection);
    p.Registry = MakeFileRegistry(o.DataDir);
    p.SystemParameters = MakeLinuxSystemParameters(o.DataDir);
    p.Services = MakeLinuxServiceManager();
    return p;
}

} // namespace kestrum::platform
