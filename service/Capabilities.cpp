#include "Capabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kestrum::service {

namespace {

constexpr uint64_t kKeep = (1ull << CAP_SYS_NICE) | (1ull << CAP_SYS_PTRACE);

int LastCapability() {
    std::ifstream in("/proc/sys/kernel/cap_last_cap");
    int last = CAP_LAST_CAP;
    if (in >> last && last >= 0 && last < 64) return last;
    return CAP_LAST_CAP;
}

bool GetCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

uint64_t Join(uint32_t low, uint32_t high) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

} // namespace

bool KeepOnlyTrimCapabilities(std::string* error) {
    auto fail = [&](const char* step) {
        if (error) *error = std::string(step) + ": " + std::strerror(errno);
        return false;
    };
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return fail("no new privileges");
    __user_cap_data_struct data[2]{};
    if (!GetCaps(data)) return fail("capget");
    // The bounding set needs CAP_SETPCAP, which goes last; without it the set is already as narrow as the
    // one who started us made it.
    if (data[0].effective & (1u << CAP_SETPCAP)) {
        for (int cap = 0; cap <= LastCapability(); ++cap)
            if (!(kKeep & (1ull << cap)) && prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno != EINVAL)
                return fail("bounding set");
    }
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    const uint64_t permitted = Join(data[0].permitted, data[1].permitted) & kKeep;
    for (int i = 0; i < 2; ++i) {
        const uint32_t part = static_cast<uint32_t>(permitted >> (32 * i));
        data[i].permitted = part;
        data[i].effective = part;
        data[i].inheritable = 0;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(SYS_capset, &header, data) != 0) return fail("capset");
    return true;
}

QStringList EffectiveCapabilityNames() {
    __user_cap_data_struct data[2]{};
    if (!GetCaps(data)) return {};
    const uint64_t effective = Join(data[0].effective, data[1].effective);
    QStringList names;
    for (int cap = 0; cap < 64; ++cap) {
        if (!(effective & (1ull << cap))) continue;
        if (cap == CAP_SYS_NICE)
            names << QStringLiteral("CAP_SYS_NICE");
        else if (cap == CAP_SYS_PTRACE)
            names << QStringLiteral("CAP_SYS_PTRACE");
        else
            names << QStringLiteral("cap_%1").arg(cap);
    }
    return names;
}

} // namespace kestrum::service
