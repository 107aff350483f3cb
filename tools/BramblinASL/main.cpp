// BramblinASL: registers a program to start at logon, or removes the registration.
//   BramblinASL /add "<name>" "<program>" [<switch> ...]
//   BramblinASL /del "<name>" [ignored ...]
// Both are idempotent. Exit codes: 0 done or nothing to do, 1 the entry could not be written or removed,
// 2 bad command line, 3 an entry of that name exists that the launcher did not write (left alone).
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AutoStartEntry.h"

namespace {

void Usage(FILE* out) {
    std::fputs(
        "Usage: BramblinASL /add \"<name>\" \"<program>\" [<switch> ...]\n"
        "       BramblinASL /del \"<name>\"\n"
        "/add writes an autostart entry <name>.desktop that starts <program> with the switches at logon;\n"
        "/del removes it. The entry lies in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).\n"
        "An entry of that name that BramblinASL did not write is never replaced or removed.\n",
        out);
}

int BadCommandLine(const char* why) {
    std::fprintf(stderr, "BramblinASL: %s\n", why);
    Usage(stderr);
    return 2;
}

std::string Absolute(const std::string& path) {
    if (path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}

} // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?")) {
        Usage(stdout);
        return 0;
    }
    if (args.empty()) return BadCommandLine("no command");
    const bool add = strcasecmp(args[0].c_str(), "/add") == 0;
    const bool del = strcasecmp(args[0].c_str(), "/del") == 0;
    if (!add && !del) return BadCommandLine(("unknown command: " + args[0]).c_str());
    if (args.size() < 2) return BadCommandLine("the registration name is missing");
    const std::string& name = args[1];
    if (!bramblin::ValidName(name)) return BadCommandLine("the registration name is not usable as a file name");
    if (add && (args.size() < 3 || args[2].empty())) return BadCommandLine("the program to start is missing");

    const std::string dir = bramblin::AutostartDir();
    if (dir.empty()) {
        std::fputs("BramblinASL: no home folder to keep the autostart entry in\n", stderr);
        return 1;
    }
    std::string error;
    bramblin::TResult r = add ? bramblin::AddEntry(dir, name, Absolute(args[2]),
                                                   std::vector<std::string>(args.begin() + 3, args.end()), error)
                              : bramblin::DeleteEntry(dir, name, error);
    switch (r) {
        case bramblin::TResult::Done:
        case bramblin::TResult::Unchanged:
            return 0;
        case bramblin::TResult::Foreign:
            std::fprintf(stderr, "BramblinASL: %s\n", error.c_str());
            return 3;
        case bramblin::TResult::Failed:
            std::fprintf(stderr, "BramblinASL: %s\n", error.c_str());
            return 1;
    }
    return 1;
}
