#include "index/service/index_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "base/path_names.h"
#include "base/unique_fd.h"
#include "index/client/printable.h"
#include "index/client/query_parser.h"
#include "protocol/index_protocol.h"

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

// The words of an exclude line, and why others were skipped: a bad word
// costs only itself, as far as the rest of the line can still be read.
struct Words {
    std::vector<std::string> words;
    std::vector<std::string> problems;
};

Words splitWords(std::string_view value) {
    Words out;
    size_t i = 0;
    while (i < value.size()) {
        if (isBlank(value[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < value.size() && !isBlank(value[end])) ++end;
        if (value[i] == '"') {
            size_t close = value.find('"', i + 1);
            if (close == std::string_view::npos) {
                // Where the name was meant to end cannot be told.
                out.problems.push_back("a quote is not closed: " + shown(value.substr(i)) + " left out");
                break;
            }
            if (close == i + 1) {
                out.problems.emplace_back("empty quotes left out");
            } else if (close + 1 < value.size() && !isBlank(value[close + 1])) {
                end = close + 1;
                while (end < value.size() && !isBlank(value[end])) ++end;
                out.problems.push_back("text right after the closing quote: " + shown(value.substr(i, end - i)) +
                                       " left out");
                i = end;
                continue;
            } else {
                out.words.emplace_back(value.substr(i + 1, close - i - 1));
            }
            i = close + 1;
            continue;
        }
        std::string_view word = value.substr(i, end - i);
        if (word.find('"') != std::string_view::npos)
            out.problems.push_back("a quote inside " + shown(word) + "; left out");
        else
            out.words.emplace_back(word);
        i = end;
    }
    return out;
}

std::optional<bool> yesNo(std::string_view v) {
    if (v == "yes") return true;
    if (v == "no") return false;
    return std::nullopt;
}

// Applies one "key = value" line to `s`, as much of it as can be used,
// and says why the rest could not. What cannot be used never widens the
// index: a roots line keeps its good folders (none, if none is good), an
// exclude line its good words, and a yes-or-no that is neither is no.
std::vector<std::string> applyLine(std::string_view key, std::string_view value, IndexSettings& s) {
    std::vector<std::string> problems;
    if (key == "roots") {
        std::vector<std::string> roots;
        for (size_t pos = 0; pos <= value.size();) {
            size_t end = std::min(value.find(':', pos), value.size());
            std::string_view part = trim(value.substr(pos, end - pos));
            pos = end + 1;
            if (part.empty()) continue;
            if (part[0] != '/')
                problems.push_back("the root " + shown(part) + " is not an absolute folder; left out");
            else
                roots.push_back(normalizeAbsolutePath(part, "/"));
        }
        if (roots.empty()) problems.emplace_back("roots names no folder that can be used; nothing is indexed");
        s.roots = std::move(roots);
        return problems;
    }
    if (key == "exclude") {
        Words words = splitWords(value);
        problems = std::move(words.problems);
        size_t before = s.excludedNames.size() + s.excludedPaths.size();
        for (const std::string& w : words.words) {
            if (w[0] == '/')
                s.excludedPaths.push_back(normalizeAbsolutePath(w, "/"));
            else if (w.find('/') != std::string::npos || w == "." || w == "..")
                problems.push_back(shown(w) + " is neither a folder name nor an absolute folder; left out");
            else
                s.excludedNames.push_back(w);
        }
        if (problems.empty() && s.excludedNames.size() + s.excludedPaths.size() == before)
            problems.emplace_back("exclude needs at least one name or folder");
        return problems;
    }
    if (key == "hidden" || key == "network") {
        std::optional<bool> v = yesNo(value);
        if (!v) problems.push_back(std::string(key) + " must be yes or no, not " + shown(value) + "; taken as no");
        (key == "hidden" ? s.hidden : s.network) = v.value_or(false);
        return problems;
    }
    problems.push_back("unknown key " + shown(key) + " (known: roots, exclude, hidden, network); line ignored");
    return problems;
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
            out.problems.push_back({number, "expected key = value, not " + shown(line) + "; line ignored"});
            continue;
        }
        for (std::string& why : applyLine(trim(line.substr(0, eq)), trim(line.substr(eq + 1)), out.settings))
            out.problems.push_back({number, std::move(why)});
    }
    return out;
}

Expected<LoadedSettings> loadIndexSettings(const std::string& path) {
    const std::string context = shown(path) + " cannot be used";
    // Links are followed (settings are often kept elsewhere). Only a
    // regular file is opened: opening a device may act on it, and a FIFO
    // could block; O_NONBLOCK covers one swapped in meanwhile.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return LoadedSettings{};
        return Error::lastErrno(context);
    }
    auto notAFile = [&] { return Error(Errc::invalidInput, context + ": not a regular file"); };
    if (!S_ISREG(st.st_mode)) return notAFile();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return LoadedSettings{};
        return Error::lastErrno(context);
    }
    if (::fstat(fd.get(), &st) != 0) return Error::lastErrno(context);
    if (!S_ISREG(st.st_mode)) return notAFile();
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes)
        return Error(Errc::invalidInput, context + ": larger than 1 MiB");
    // One byte more than the limit tells a file that grew meanwhile.
    std::string text(kMaxFileBytes + 1, '\0');
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::pread(fd.get(), text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Error::lastErrno(context);
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    if (done > kMaxFileBytes) return Error(Errc::invalidInput, context + ": larger than 1 MiB");
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
