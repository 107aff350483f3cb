#pragma once
#include "platform/Platform.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeFileVersion.h"
#include "platform/fake/FakeShell.h"
#include "platform/fake/FakeSingleInstance.h"

namespace kestrum::platform {

class TFakeDesktop;
class TFakeProcesses;

// Raw pointers into the fakes a TPlatform owns, so a test can script them.
struct TFakeHandles {
    TFakeClock* Clock = nullptr;
    TFakeShell* Shell = nullptr;
    TFakeFileVersion* FileVersion = nullptr;
    TFakeSingleInstance* SingleInstance = nullptr;
    TFakeDesktop* Desktop = nullptr;
    TFakeProcesses* Processes = nullptr;
};

// A whole platform of fakes.
TPlatform MakeFakePlatform(TFakeHandles* handles = nullptr);
// Fills the slots of the engine's and the desktop's concerns (defined beside their fakes).
void FillFakeConcerns(TPlatform& platform, TFakeHandles* handles);

} // namespace kestrum::platform
