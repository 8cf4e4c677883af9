#include "index_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <variant>

#include "base/unique_fd.h"
#include "index_protocol.h"
#include "printable.h"
#include "query_parser.h"
#include "search.h"

namespace qf::index {
namespace {

constexpr size_t kMaxFileBytes = 1 << 20;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The line without its comment: "#" at the start or after a blank, outside
// quotes, so that names like "a#b" keep their sign.
std::string_view withoutComment(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == '#' && !quoted && (i == 0 || isBlank(line[i - 1])))
            return line.substr(0, i);
    }
    return line;
}

std::string shown(std::string_view text) { return "'" + escapeControls(text) + "'"; }

using Words = std::variant<std::vector<std::string>, std::string>;  // words or the reason they are not

Words splitWords(std::string_view value) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < value.size()) {
        if (isBlank(value[i])) {
            ++i;
            continue;
        }
        if (value[i] == '"') {
            size_t close = value.find('"', i + 1);
            if (close == std::string_view::npos) return std::string("a quote is not closed");
            if (close == i + 1) return std::string("empty quotes");
            if (close + 1 < value.size() && !isBlank(value[close + 1]))
                return "text right after the closing quote of " + shown(value.substr(i + 1, close - i - 1));
            words.emplace_back(value.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t end = i;
        while (end < value.size() && !isBlank(value[end])) ++end;
        std::string_view word = value.substr(i, end - i);
        if (word.find('"') != std::string_view::npos) return "a quote inside " + shown(word);
        words.emplace_back(word);
        i = end;
    }
    return words;
}

std::optional<bool> yesNo(std::string_view v) {
    if (v == "yes") return true;
    if (v == "no") return false;
    return std::nullopt;
}

// Applies one "key = value" line to `s`, or says why it cannot.
std::optional<std::string> applyLine(std::string_view key, std::string_view value, IndexSettings& s) {
    if (key == "roots") {
        std::vector<std::string> roots;
        for (size_t pos = 0; pos <= value.size();) {
            size_t end = std::min(value.find(':', pos), value.size());
            std::string_view part = trim(value.substr(pos, end - pos));
            pos = end + 1;
            if (part.empty()) continue;
            if (part[0] != '/') return "the root " + shown(part) + " is not an absolute folder";
            roots.push_back(normalizeAbsolutePath(part, "/"));
        }
        if (roots.empty()) return std::string("roots needs at least one folder");
        s.roots = std::move(roots);
        return std::nullopt;
    }
    if (key == "exclude") {
        Words words = splitWords(value);
        if (auto* why = std::get_if<std::string>(&words)) return *why;
        IndexSettings added;
        for (const std::string& w : std::get<std::vector<std::string>>(words)) {
            if (w[0] == '/')
                added.excludedPaths.push_back(normalizeAbsolutePath(w, "/"));
            else if (w.find('/') != std::string::npos || w == "." || w == "..")
                return shown(w) + " is neither a folder name nor an absolute folder";
            else
                added.excludedNames.push_back(w);
        }
        if (added.excludedNames.empty() && added.excludedPaths.empty())
            return std::string("exclude needs at least one name or folder");
        s.excludedNames.insert(s.excludedNames.end(), added.excludedNames.begin(), added.excludedNames.end());
        s.excludedPaths.insert(s.excludedPaths.end(), added.excludedPaths.begin(), added.excludedPaths.end());
        return std::nullopt;
    }
    if (key == "hidden" || key == "network") {
        std::optional<bool> v = yesNo(value);
        if (!v) return std::string(key) + " must be yes or no, not " + shown(value);
        (key == "hidden" ? s.hidden : s.network) = *v;
        return std::nullopt;
    }
    return "unknown key " + shown(key) + " (known: roots, exclude, hidden, network)";
}

}  // namespace

std::string indexSettingsPath() {
    std::string config = qf::protocol::envOr("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = qf::protocol::envOr("HOME") + "/.config";
    return config + "/quillfind/index.conf";
}

LoadedSettings parseIndexSettings(std::string_view text) {
    LoadedSettings out;
    int number = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = trim(withoutComment(text.substr(pos, end - pos)));
        pos = end + 1;
        ++number;
        if (line.empty()) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            out.problems.push_back({number, "expected key = value, not " + shown(line)});
            continue;
        }
        if (auto why = applyLine(trim(line.substr(0, eq)), trim(line.substr(eq + 1)), out.settings))
            out.problems.push_back({number, *why});
    }
    return out;
}

LoadedSettings loadIndexSettings(const std::string& path) {
    auto unreadable = [&](const std::string& why) {
        LoadedSettings out;
        out.problems.push_back({0, shown(path) + " cannot be read: " + why});
        return out;
    };
    // Links are followed (settings are often kept elsewhere), but a FIFO
    // or a device must not block or flood the service.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return errno == ENOENT ? LoadedSettings{} : unreadable(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return unreadable(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return unreadable("not a regular file");
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) return unreadable("larger than 1 MiB");
    std::string text(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::pread(fd.get(), text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return unreadable(std::strerror(errno));
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    return parseIndexSettings(text);
}

bool isExcluded(const IndexSettings& settings, std::string_view name, std::string_view path, bool isFolder) {
    if (!settings.hidden && name.size() > 1 && name[0] == '.' && name != "..") return true;
    if (isFolder &&
        std::find(settings.excludedNames.begin(), settings.excludedNames.end(), name) != settings.excludedNames.end())
        return true;
    return std::any_of(settings.excludedPaths.begin(), settings.excludedPaths.end(),
                       [&](const std::string& folder) { return isSameOrInside(path, folder); });
}

}  // namespace qf::index
