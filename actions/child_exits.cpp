#include "actions/child_exits.h"

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "core/debug_log.h"

namespace qf {

namespace {

UniqueFd processDescriptor(pid_t pid) {
    // Through syscall(): the C library wrapper arrived only in glibc 2.36.
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
}

}  // namespace

ChildExits::ChildExits(QObject* parent) : QObject(parent) {}

ChildExits::~ChildExits() {
    // The notifiers are children of this object; they go before the
    // descriptors they watch are closed.
    for (auto& [descriptor, child] : children_) delete child.notifier;
}

bool ChildExits::watch(pid_t pid, Callback onExit) {
    UniqueFd descriptor = processDescriptor(pid);
    if (!descriptor) {
        dbg("child unwatched pid=" + std::to_string(pid) + " errno=" + std::to_string(errno));
        return false;
    }
    const int key = descriptor.get();
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(key), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, key] { onEnded(key); });
    children_.emplace(key, Child{pid, std::move(descriptor), notifier, std::move(onExit)});
    return true;
}

void ChildExits::onEnded(int descriptor) {
    const auto it = children_.find(descriptor);
    if (it == children_.end()) return;
    Child child = std::move(it->second);
    children_.erase(it);
    // Its own signal is being delivered: it may not be deleted here.
    child.notifier->setEnabled(false);
    child.notifier->deleteLater();
    int status = 0;
    pid_t reaped = 0;
    do {
        reaped = ::waitpid(child.pid, &status, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    // Reaped by someone else (a handler that reaps every child): the way it
    // ended is lost, and nothing can honestly be said about it.
    if (reaped != child.pid) return;
    // The callback may run a modal dialog; nothing of this object is used
    // after it returns.
    child.onExit(decodeWaitStatus(status));
}

}  // namespace qf
