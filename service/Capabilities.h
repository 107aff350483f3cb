#pragma once
#include <QStringList>
#include <string>

namespace kestrum::service {

// Keeps only what trimming needs: CAP_SYS_NICE (page out another process's memory) and CAP_SYS_PTRACE (read
// other users' memory maps). Drops every other capability from the effective, permitted, inheritable,
// ambient and bounding sets and forbids gaining new privileges, so a service started by a plain D-Bus
// activation (no systemd to narrow it) holds no more than its unit grants. Returns false with `error` set
// when the kernel refused a step.
bool KeepOnlyTrimCapabilities(std::string* error);

// The names of this process's effective capabilities ("CAP_SYS_NICE", "CAP_SYS_PTRACE", "cap_N" for others).
QStringList EffectiveCapabilityNames();

} // namespace kestrum::service
