#pragma once
// The index's mdfind as the core and model tests see it: the calls the
// program makes, and fake_mdfind.sh installed as "mdfind" in a temporary
// folder that QUILLFIND_MDFIND points at while the fake lives.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.h"

namespace qf::test {

using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;

inline Lines linesOf(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A by-name call, a name query and the recent files as mdfind receives them.
inline Args byName(const std::string& term) { return {"-name", term}; }
inline Args nameQuery(const std::string& value) { return {"kMDItemFSName == '" + value + "'cd"}; }
inline const Args kRecentCall = {"kMDItemFSContentChangeDate >= $time.today(-1d)"};

class FakeMdfind {
public:
    FakeMdfind() { std::filesystem::create_symlink(sourceDir() + "/tests/common/fake_mdfind.sh", executable_); }
    // What a call with exactly these arguments prints (".out", ".<n>.out"
    // for the nth call only), waits before it in seconds (".sleep") or exits
    // with (".status"); the fake's key is every argument plus "\n", in hex.
    void set(const Args& args, const std::string& suffix, const std::string& content) {
        std::string key;
        for (const auto& a : args)
            for (unsigned char c : a + "\n") key += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 0xF]};
        writeFile(dir_ / (key + suffix), content);
    }
    void answer(const Args& args, const Lines& lines, int nth = 0) {
        set(args, nth ? "." + std::to_string(nth) + ".out" : ".out", joined(lines));
    }
    // What every call without an answer of its own prints.
    void answerOthers(const Lines& lines) { writeFile(dir_ / "others.out", joined(lines)); }
    // The calls so far, in order (arguments holding a line break come out cut).
    std::vector<Args> calls() const {
        std::vector<Args> out;
        for (const auto& key : linesOf(readFile(dir_ / "calls"))) {
            std::string text;
            for (std::size_t i = 0; i + 1 < key.size(); i += 2)
                text += static_cast<char>(std::stoi(key.substr(i, 2), nullptr, 16));
            out.push_back(linesOf(text));
        }
        return out;
    }

private:
    static std::string joined(const Lines& lines) {
        std::string bytes;
        for (const auto& l : lines) bytes += l + "\n";
        return bytes;
    }
    TempDir dir_;
    std::string executable_ = dir_ / "mdfind";
    ScopedEnv mdfind_{"QUILLFIND_MDFIND", executable_};
};

}  // namespace qf::test
