#pragma once
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace qf::index {

// Watches the folders the roots hang from, on the follower's inotify
// instance, so that a change there is noticed at once: for a root that
// does not exist (yet, or any more), the nearest folder above it that
// does; for a root in force, the folder holding it, where it may be
// removed or replaced. What a change means is for the caller to check.
class RootWatch {
public:
    explicit RootWatch(int inotifyFd) : inotify_(inotifyFd) {}
    ~RootWatch();
    RootWatch(const RootWatch&) = delete;
    RootWatch& operator=(const RootWatch&) = delete;

    // Notes which folders these roots name now. Called before they are
    // crawled: a root replaced after this is seen as changed and read
    // again, also one replaced while the crawl was being queued.
    void expect(const std::vector<std::string>& roots);
    // Follows these roots from now on: `inForce` as the folders they name
    // when expected (now, for one not expected), `waiting` until they
    // appear. Whether other folders are watched.
    bool follow(const std::vector<std::string>& inForce, const std::vector<std::string>& waiting);
    // Forgets a watch the kernel dropped (its folder went).
    void forget(int wd);
    // The roots in force that name another folder than when followed, or
    // none at all.
    std::vector<std::string> changed() const;

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };

    const int inotify_;
    std::map<std::string, int> watches_;  // folder -> watch
    std::map<std::string, Identity> inForce_;
};

}  // namespace qf::index
