#include "AutoStartEntry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace bramblin {

namespace {

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The value of `key` in the [Desktop Entry] group, raw; false when absent.
bool FindKey(const std::string& text, const std::string& key, std::string& value) {
    std::istringstream in(text);
    std::string line;
    bool inMain = false;
    while (std::getline(in, line)) {
        std::string t = Trimmed(line);
        if (t.empty() || t[0] == '#') continue;
        if (t[0] == '[') {
            inMain = t == "[Desktop Entry]";
            continue;
        }
        if (!inMain) continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        if (Trimmed(t.substr(0, eq)) == key) {
            value = Trimmed(t.substr(eq + 1));
            return true;
        }
    }
    return false;
}

bool IsOurs(const std::string& text) {
    std::string v;
    return FindKey(text, OwnMarkKey, v) && v == "true";
}

enum class TState { Missing, Ours, Foreign, Unreadable };

TState Inspect(const std::string& path, std::string& text) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? TState::Missing : TState::Unreadable;
    if (!S_ISREG(st.st_mode)) return TState::Foreign; // a link or anything else is the user's arrangement
    std::ifstream in(path, std::ios::binary);
    if (!in) return TState::Unreadable;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return IsOurs(text) ? TState::Ours : TState::Foreign;
}

// mkdir -p, new folders private to the user as the base-directory rules ask.
bool MakeDirs(const std::string& dir) {
    std::string path;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        path = dir.substr(0, pos);
        if (path.empty()) continue;
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAtomically(const std::string& path, const std::string& text, std::string& error) {
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = std::string("cannot create a file beside ") + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = fchmod(fd, 0644) == 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += size_t(n);
    }
    int saved = errno;
    ok = ok && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok && rename(name.data(), path.c_str()) == 0) return true;
    if (!ok) errno = saved ? saved : errno;
    error = std::string("cannot write ") + path + ": " + std::strerror(errno);
    unlink(name.data());
    return false;
}

} // namespace

bool ValidName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name[0] == '.') return false;
    for (unsigned char c : name)
        if (c == '/' || c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string QuoteExecArgument(const std::string& arg, bool alwaysQuote) {
    static const char reserved[] = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = alwaysQuote || arg.empty() || arg.find_first_of(reserved, 0, sizeof reserved - 1) != std::string::npos;
    std::string out;
    if (quote) out += '"';
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
        if (c == '%') out += '%'; // a literal percent sign, not a field code
    }
    if (quote) out += '"';
    return out;
}

std::string EscapeValue(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case ' ':
                out += i == 0 ? "\\s" : " ";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string AutostartDir() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/autostart";
    const char* home = std::getenv("HOME");
    std::string h = home && home[0] == '/' ? home : "";
    if (h.empty())
        if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') h = pw->pw_dir;
    if (h.empty()) return {};
    return h + "/.config/autostart";
}

std::string EntryText(const std::string& name, const std::string& program, const std::vector<std::string>& switches,
                      const std::string& previous) {
    // GLib checks that the Exec program exists before it undoes the doubled "%", so a program path with
    // "%" in it would never start there: such a path goes to env(1) as its first argument instead.
    std::string exec = program.find('%') == std::string::npos ? QuoteExecArgument(program, true)
                                                              : "env " + QuoteExecArgument(program, true);
    for (const std::string& s : switches) exec += ' ' + QuoteExecArgument(s, false);
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=" + EscapeValue(name) + "\n";
    text += "Comment=Started at logon (registered by BramblinASL)\n";
    text += "Exec=" + EscapeValue(exec) + "\n";
    // An uninstalled program is skipped at logon instead of failing.
    text += "TryExec=" + EscapeValue(program) + "\n";
    text += "Terminal=false\n";
    std::string v;
    text += "X-GNOME-Autostart-enabled=" +
            (FindKey(previous, "X-GNOME-Autostart-enabled", v) && !v.empty() ? v : std::string("true")) + "\n";
    if (FindKey(previous, "Hidden", v) && !v.empty()) text += "Hidden=" + v + "\n";
    text += std::string(OwnMarkKey) + "=true\n";
    return text;
}

TResult AddEntry(const std::string& dir, const std::string& name, const std::string& program,
                 const std::vector<std::string>& switches, std::string& error) {
    const std::string path = dir + "/" + name + ".desktop";
    std::string old;
    switch (Inspect(path, old)) {
        case TState::Foreign:
            error = path + " was not written by BramblinASL; left as it is";
            return TResult::Foreign;
        case TState::Unreadable:
            error = "cannot read " + path + ": " + std::strerror(errno);
            return TResult::Failed;
        case TState::Missing:
            old.clear();
            break;
        case TState::Ours:
            break;
    }
    const std::string text = EntryText(name, program, switches, old);
    if (text == old) return TResult::Unchanged;
    if (!MakeDirs(dir)) {
        error = "cannot create " + dir + ": " + std::strerror(errno);
        return TResult::Failed;
    }
    return WriteAtomically(path, text, error) ? TResult::Done : TResult::Failed;
}

TResult DeleteEntry(const std::string& dir, const std::string& name, std::string& error) {
    const std::string path = dir + "/" + name + ".desktop";
    std::string old;
    switch (Inspect(path, old)) {
        case TState::Missing:
            return TResult::Unchanged;
        case TState::Foreign:
            error = path + " was not written by BramblinASL; left as it is";
            return TResult::Foreign;
        case TState::Unreadable:
            error = "cannot read " + path + ": " + std::strerror(errno);
            return TResult::Failed;
        case TState::Ours:
            break;
    }
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return TResult::Done;
    error = "cannot remove " + path + ": " + std::strerror(errno);
    return TResult::Failed;
}

} // namespace bramblin
