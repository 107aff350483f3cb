#pragma once
#include <QSet>
#include <QString>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "platform/IProcesses.h"

namespace kestrum {

// The executable names of the running processes, case-folded, for a question asked again and again (the
// foreground ranking's running flags). Where the backend tells a reused process id apart, a name is read
// once per process: one directory read a question, plus one link per process started since.
class TKSRunningNames {
public:
    explicit TKSRunningNames(platform::IProcesses& processes) : FProcesses(processes) {}

    // Empty when no process list could be taken.
    std::optional<QSet<QString>> Names();
    // Names read from the backend so far (how much the last questions cost).
    uint64_t NamesRead() const { return FNamesRead; }
    // A known process's name is read again at every this many questions: a process that replaced its program
    // (exec) is seen within minutes at a question every ten seconds, while each question reads few links.
    static constexpr uint32_t RecheckEvery = 18;

private:
    struct TKnown {
        uint64_t Instance = 0;
        QString Name; // case-folded; empty for a process without an executable (kernel threads)
    };
    platform::IProcesses& FProcesses;
    std::unordered_map<uint32_t, TKnown> FKnown;
    uint64_t FNamesRead = 0;
    uint32_t FQuestions = 0;
};

} // namespace kestrum
