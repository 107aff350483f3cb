#include "ProtectCommands.h"

#include <cstdio>

#include "engine/MemoryOptimize.h"
#include "engine/ProtectionModel.h"
#include "NoDesktop.h"
#include "platform/IProcesses.h"
#include "store/KSProtectionSettings.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

enum : int { EXIT_OK = 0, EXIT_USAGE = 1, EXIT_NO_SNAPSHOT = 4, EXIT_NOT_WRITTEN = 7 };


// A list entry is a key of an INI file: no line breaks, no "=", no section or comment start, no folder.
bool ValidName(const QString& name) {
    if (name.isEmpty() || name.size() > 255) return false;
    if (name.startsWith(u'[') || name.startsWith(u';') || name.contains(u'=') || name.contains(u'/')) return false;
    for (QChar c : name)
        if (c.unicode() < 0x20 || c == QChar(0x7f)) return false;
    return true;
}

double Mb(uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

const char* ModeText(uint8_t mode) {
    switch (mode) {
        case TMemoryOptimize::MODE_ALL:
            return "every program";
        case TMemoryOptimize::MODE_BLACK:
            return "only the trim-only list";
        case TMemoryOptimize::MODE_NOT_WHITE:
            return "every program but the never-trim list";
        default:
            return "smart (every program but the never-trim list and the five most used)";
    }
}

} // namespace

int ProtectCommand(const QStringList& args, bool protect) {
    if (args.size() != 1 || !ValidName(args[0].trimmed())) {
        std::fprintf(stderr, "kestrum-cli: %s wants one program name (no '/', '=' or line break)\n",
                     protect ? "protect" : "unprotect");
        return EXIT_USAGE;
    }
    const QString name = args[0].trimmed();
    TNoDesktop desktop;
    auto processes = platform::MakeLinuxProcesses("/proc");
    TMemoryOptimize engine(desktop, *processes);
    const bool listed = engine.WhiteList().contains(name, Qt::CaseInsensitive);
    if (protect == listed) {
        std::printf("%s %s on the never-trim list.\n", qPrintable(name), protect ? "is already" : "is not");
        return EXIT_OK;
    }
    const bool ok = protect ? engine.AddListItem(TMemoryOptimize::LIST_WHITE, name)
                            : engine.RemoveListItem(TMemoryOptimize::LIST_WHITE, name);
    if (!ok) {
        std::fprintf(stderr, "kestrum-cli: %s could not be written\n",
                     qPrintable(TMemoryOptimize::ListFileName(TMemoryOptimize::LIST_WHITE)));
        return EXIT_NOT_WRITTEN;
    }
    std::printf(protect ? "%s is on the never-trim list: no run trims it.\n" : "%s is off the never-trim list.\n",
                qPrintable(name));
    return EXIT_OK;
}

int ListCommand(const QStringList& args) {
    bool tsv = false;
    for (const QString& a : args) {
        if (a == "--tsv") {
            tsv = true;
        } else {
            std::fprintf(stderr, "kestrum-cli: unknown option %s (see --help)\n", qPrintable(a));
            return EXIT_USAGE;
        }
    }
    const TKSProtectionSettings settings = TKSProtectionSettings::Load();
    TNoDesktop desktop;
    auto processes = platform::MakeLinuxProcesses("/proc");
    TMemoryOptimize engine(desktop, *processes);
    engine.SetSelectionMode(settings.SelectionMode);
    const auto programs = TProtectionModel::Programs(engine, *processes);
    if (programs.empty()) {
        std::fprintf(stderr, "kestrum-cli: cannot read the process list\n");
        return EXIT_NO_SNAPSHOT;
    }
    if (tsv) {
        std::printf("program\tprocesses\tresident_bytes\tswapped_bytes\tprotection\tapp_id\n");
        for (const auto& p : programs)
            std::printf("%s\t%u\t%llu\t%llu\t%s\t%s\n", qPrintable(p.Name), p.Processes,
                        static_cast<unsigned long long>(p.Resident), static_cast<unsigned long long>(p.Swapped),
                        TProtectionModel::ReasonWord(p.Reason), qPrintable(p.AppId));
        return EXIT_OK;
    }
    std::printf("Selection: %s\n", ModeText(settings.SelectionMode));
    std::printf("%-28s %9s %12s %12s  %s\n", "PROGRAM", "PROCESSES", "RESIDENT MB", "SWAPPED MB", "PROTECTION");
    for (const auto& p : programs)
        std::printf("%-28s %9u %12.1f %12.1f  %s\n", qPrintable(p.Name), p.Processes, Mb(p.Resident), Mb(p.Swapped),
                    TProtectionModel::ReasonWord(p.Reason));
    return EXIT_OK;
}

void PrintTopPrograms(const TFreeRunReport& report) {
    if (report.TopPrograms.empty()) return;
    std::printf("Programs that gave the most:");
    const char* sep = " ";
    for (const auto& p : report.TopPrograms) {
        std::printf("%s%s %.1f MB", sep, qPrintable(p.Name), Mb(p.Bytes));
        sep = ", ";
    }
    std::printf("\n");
}

} // namespace kestrum
