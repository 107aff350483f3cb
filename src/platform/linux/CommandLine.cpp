#include "platform/linux/CommandLine.h"

namespace kestrum::platform {

std::vector<std::string> SplitCommandLine(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    bool inArg = false, quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size() && s[i + 1] == '"') {
            cur += '"';
            ++i;
            inArg = true;
        } else if (c == '"') {
            quoted = !quoted;
            inArg = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n')) {
            if (inArg) out.push_back(cur), cur.clear(), inArg = false;
        } else {
            cur += c;
            inArg = true;
        }
    }
    if (inArg) out.push_back(cur);
    return out;
}

} // namespace kestrum::platform
