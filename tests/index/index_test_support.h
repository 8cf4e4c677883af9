#pragma once
// Index test helpers: trees of files, polling with deadlines, child processes
// with a private environment, and a private service world for mdfind.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/spawn.h"
#include "base/unique_fd.h"
#include "base/unix_socket.h"
#include "common/test_support.h"
#include "index/service/service.h"
#include "protocol/index_protocol.h"

extern char** environ;

namespace qf::index::testing {

namespace fs = std::filesystem;
using qf::test::binDir;
using qf::test::pollUntil;
using qf::test::TempDir;

inline void touch(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "x";
}

// Sets the time `path` (itself, not where a link leads) last changed.
inline bool setChangeTime(const std::string& path, time_t seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

inline std::vector<std::string> splitLines(const std::string& text, char sep = '\n') {
    std::vector<std::string> lines;
    for (size_t pos = 0, end; pos < text.size(); pos = end + 1) {
        end = std::min(text.find(sep, pos), text.size());
        if (end > pos) lines.push_back(text.substr(pos, end - pos));
    }
    return lines;
}

inline size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
}

inline std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// The paths answering `request` (its records' payloads), sorted; its notice,
// if any, goes to `notice`.
inline std::vector<std::string> answered(Service& service, const Request& request, std::string* notice = nullptr) {
    std::vector<std::string> out;
    Expected<void> done = service.answer(request, [&](const std::string& bytes) {
        for (const std::string& record : splitLines(bytes, '\0')) {
            if (record[0] != protocol::kTagNotice)
                out.push_back(record.substr(1));
            else if (notice)
                *notice = record.substr(1);
        }
        return true;
    });
    EXPECT_TRUE(done) << done.error().message();
    return sorted(out);
}

inline std::vector<std::string> namesContaining(Service& service, const std::string& term,
                                                std::string* notice = nullptr) {
    Request request;
    request.op = Request::Op::nameContains;
    request.value = term;
    return answered(service, request, notice);
}

struct ProcessResult {
    int exitCode = -1;  // -1 when ended by a signal
    std::string out, err;
};

// Runs a program with the current environment plus `env` and reads both
// outputs until they close (a child left holding them would show as a
// timeout); killed after `limit`.
inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                                std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    SpawnOptions options;
    options.environment.emplace();
    for (char** e = environ; *e; ++e)
        if (!env.count(std::string(*e).substr(0, std::string(*e).find('=')))) options.environment->push_back(*e);
    for (const auto& [k, v] : env) options.environment->push_back(k + "=" + v);
    ProcessResult r;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return r;
    UniqueFd outRead(out[0]), outWrite(out[1]);
    if (::pipe2(err, O_CLOEXEC) != 0) return r;
    UniqueFd errRead(err[0]), errWrite(err[1]);
    options.standardInput = kNullStream;
    options.standardOutput = outWrite.get();
    options.standardError = errWrite.get();
    auto pid = spawnProcess(argv.at(0), std::vector<std::string>(argv.begin() + 1, argv.end()), options);
    outWrite.reset();
    errWrite.reset();
    if (!pid) return r;
    pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buf[65536];
    while ((fds[0].fd >= 0 || fds[1].fd >= 0) && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 100) <= 0) continue;
        for (int k = 0; k < 2; ++k) {
            if (!fds[k].revents) continue;
            const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
            if (n <= 0) fds[k].fd = -1;
            if (n > 0) (k == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
        }
    }
    if (fds[0].fd >= 0 || fds[1].fd >= 0) ::kill(*pid, SIGKILL);
    auto end = waitForExit(*pid);
    if (end && !end->bySignal) r.exitCode = end->status;
    return r;
}

// An index service's stand-in on `socketPath`: it reads each question to
// its end (a socket closed on unread bytes would reach the asker as a reset
// instead of an end), sends the next of `replies` (the last again once they
// run out) a few bytes at a time, and hangs up, or with `hangUp` false keeps
// silent until the asker goes.
class FakeService {
public:
    FakeService(const std::string& socketPath, std::vector<std::string> replies, bool hangUp = true)
        : replies_(std::move(replies)), listener_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const auto address = unixSocketAddress(socketPath);
        EXPECT_EQ(::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)), 0);
        EXPECT_EQ(::listen(listener_.get(), 8), 0);
        server_ = std::thread([this, hangUp] {
            for (size_t n = 0;; ++n) {
                UniqueFd asker(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
                if (!asker) return;  // shut down
                std::string request;
                for (char c; !request.ends_with(std::string(2, '\0')) && ::recv(asker.get(), &c, 1, 0) == 1;)
                    request += c;
                const std::string& reply = replies_.at(std::min(n, replies_.size() - 1));
                for (size_t i = 0; i < reply.size(); i += 7) {
                    ::send(asker.get(), reply.data() + i, std::min<size_t>(7, reply.size() - i), MSG_NOSIGNAL);
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                char byte;
                if (!hangUp) ::recv(asker.get(), &byte, 1, 0);  // ends when the asker goes
            }
        });
    }
    ~FakeService() {
        ::shutdown(listener_.get(), SHUT_RDWR);  // wakes the blocked accept, which then fails
        server_.join();
    }

private:
    std::vector<std::string> replies_;
    UniqueFd listener_;
    std::thread server_;
};

// A private service world: its own root, index folder and XDG folders; the
// service it starts is stopped with SIGTERM at the end.
class ServiceWorld {
public:
    ServiceWorld() { fs::create_directories(root()); }
    ~ServiceWorld() { stopService(); }

    std::string root() const { return dir_ / "root"; }
    std::string indexDir() const { return dir_ / "idx"; }
    std::string file(const std::string& rel) const { return root() + "/" + rel; }
    std::vector<std::string> files(const std::vector<std::string>& rel) const {
        std::vector<std::string> out;
        for (const std::string& r : rel) out.push_back(file(r));
        return sorted(out);
    }

    std::string settingsFile() const { return dir_ / "xdg-config/quillfind/index.conf"; }
    // Written whole and renamed over, as editors do.
    void writeSettings(const std::string& text) const {
        fs::create_directories(fs::path(settingsFile()).parent_path());
        qf::test::writeFile(settingsFile() + ".new", text);
        fs::rename(settingsFile() + ".new", settingsFile());
    }
    std::map<std::string, std::string> env() const {
        std::map<std::string, std::string> env = {
            {"QUILLFIND_INDEX_DIR", indexDir()},       {"QUILLFIND_INDEX_ROOTS", root()},
            {"XDG_RUNTIME_DIR", dir_ / "xdg-runtime"}, {"XDG_CACHE_HOME", dir_ / "xdg-cache"},
            {"XDG_CONFIG_HOME", dir_ / "xdg-config"},  {"QUILLFIND_DEBUG_LOG", dir_ / "debug.log"},
            {"PATH", binDir() + ":/usr/bin:/bin"}};
        for (const auto& [k, v] : extraEnv) env[k] = v;
        return env;
    }
    // Replaces or adds variables of env() (an empty value counts as unset).
    std::map<std::string, std::string> extraEnv;
    ProcessResult mdfind(std::vector<std::string> args) const {
        args.insert(args.begin(), binDir() + "/mdfind");
        return runProcess(args, env());
    }
    ProcessResult sh(const std::string& command) const { return runProcess({"/bin/sh", "-c", command}, env()); }
    std::vector<std::string> lines(const std::vector<std::string>& args) const {
        return sorted(splitLines(mdfind(args).out));
    }
    std::vector<std::string> found(const std::string& term) const { return lines({"-name", term}); }
    std::string status() const { return mdfind({"--status"}).out; }
    pid_t servicePid() const {
        pid_t pid = 0;
        std::ifstream(indexDir() + "/indexd.lock") >> pid;
        return pid;
    }
    // Starts the service and waits for its first crawl to finish.
    bool start() const {
        bool started = mdfind({"--start-service"}).exitCode == 0;
        started_.push_back(servicePid());
        return started && pollUntil([&] { return status().find("state: idle") != std::string::npos; });
    }
    // Also the services this world started whose lock file has gone.
    void stopService() const {
        if (servicePid() > 0) qf::test::stopIndexService(indexDir());
        for (pid_t pid : started_) qf::test::stopIndexServiceProcess(pid, indexDir());
        started_.clear();
    }

private:
    TempDir dir_;
    mutable std::vector<pid_t> started_;
};

// Held by tests that mount, and by those whose service must see the mount
// table settle: a service re-reads the table only once it has stayed the
// same for a moment, so another test mounting and unmounting in a loop
// would hold it back. CTest runs the test programs side by side; this lock
// file in the build's own folder keeps such tests one at a time. Where it
// cannot be had (an ordinary user, who cannot mount either) nothing waits.
class MountTableLock {
public:
    MountTableLock() : fd_(::open(QF_BUILD_BIN_DIR "/.mount-table.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_.get() >= 0)
            while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
            }
    }

private:
    qf::UniqueFd fd_;
};

// An ext4 image holding folder/ondisk.txt, mounted through a loop device;
// detached when a test ends with it still mounted.
class LoopDisk {
public:
    LoopDisk(const std::string& image, std::string mountPoint) : image_(image), mountPoint_(std::move(mountPoint)) {
        fs::create_directories(mountPoint_);
        ProcessResult made =
            runProcess({"/bin/sh", "-c", "truncate -s 8M '" + image + "' && mkfs.ext4 -q -F '" + image + "'"}, {});
        if (made.exitCode != 0) {
            why_ = "mkfs.ext4 failed: " + made.err;
        } else if (mount()) {
            touch(mountPoint_ + "/folder/ondisk.txt");
            // One folder only, so that tests know every folder the crawl reads.
            fs::remove(mountPoint_ + "/lost+found");
            if (!unmount()) why_ = "cannot unmount";
        }
    }
    ~LoopDisk() {
        if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    const std::string& skipReason() const { return why_; }
    bool mount() {
        // autoclear: the loop device goes with the last unmount.
        ProcessResult r = runProcess({"/bin/mount", "-o", "loop", "-t", "ext4", image_, mountPoint_}, {});
        mounted_ = r.exitCode == 0;
        if (!mounted_) why_ = "mounting a loop device is not permitted here: " + r.err;
        return mounted_;
    }
    // A plain unmount, retried while a crawl may hold the disk for a moment:
    // a disk that stays busy is held by a descriptor left open.
    bool unmount() {
        return pollUntil([&] { return unmountOnce(); });
    }
    // One plain unmount, as a user's: fails while anything holds the disk.
    bool unmountOnce() {
        mounted_ = mounted_ && ::umount2(mountPoint_.c_str(), 0) != 0;
        return !mounted_;
    }

private:
    MountTableLock lock_;  // first: held before the first mount, let go after the last
    std::string image_, mountPoint_, why_;
    bool mounted_ = false;
};

}  // namespace qf::index::testing
