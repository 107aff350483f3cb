#pragma once
#include <memory>
#include <string>

#include "platform/IClock.h"
#include "platform/IDesktop.h"
#include "platform/IFileVersion.h"
#include "platform/IHotKeys.h"
#include "platform/IProcesses.h"
#include "platform/IRegistry.h"
#include "platform/IServiceManager.h"
#include "platform/IShell.h"
#include "platform/ISingleInstance.h"
#include "platform/ISystemInfo.h"
#include "platform/ISystemParameters.h"

namespace kestrum::platform {

// Everything the system asks of the operating system, handed down from main; tests build one from fakes.
struct TPlatform {
    std::unique_ptr<IClock> Clock;
    std::unique_ptr<IShell> Shell;
    std::unique_ptr<ISingleInstance> SingleInstance;
    std::unique_ptr<IFileVersion> FileVersion;
    std::unique_ptr<ISystemInfo> SystemInfo;
    std::unique_ptr<IProcesses> Processes;
    std::unique_ptr<IDesktop> Desktop;
    std::unique_ptr<IHotKeys> HotKeys;
    std::unique_ptr<IRegistry> Registry;
    std::unique_ptr<ISystemParameters> SystemParameters;
    std::unique_ptr<IServiceManager> Services;
};

struct TLinuxPlatformOptions {
    std::string ProcRoot = "/proc";
    std::string SysRoot = "/sys";
    std::string DataDir;           // the data folder (registry store, recorded system parameters)
    std::string RuntimeDir;        // single-instance lock and socket
    std::string OwnVersion;        // the four-part version embedded in the executable
    void* XcbConnection = nullptr; // the application's X connection, when there is one
};

TPlatform MakeLinuxPlatform(const TLinuxPlatformOptions& options);

} // namespace kestrum::platform
