#pragma once
// Tells the main thread when a child of this process ends, without waiting
// for it: the desktop's opener may run as long as the program it opened
// (xdg-open does, in a session without a desktop environment), and the
// window must stay responsive meanwhile. A child still running when its
// watcher goes is left running (the opened program is the user's).
#include <sys/types.h>

#include <QObject>
#include <functional>
#include <map>

#include "base/spawn.h"
#include "base/unique_fd.h"

class QSocketNotifier;

namespace qf {

class ChildExits : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(const Termination&)>;

    explicit ChildExits(QObject* parent = nullptr);
    ~ChildExits() override;

    // Calls `onExit` on this object's thread once `pid`, a child of this
    // process, has ended and been reaped. False when it cannot be watched
    // (no process descriptor); it then runs on unobserved.
    bool watch(pid_t pid, Callback onExit);
    // The watched children that have not ended yet.
    std::size_t running() const { return children_.size(); }

private:
    struct Child {
        pid_t pid;
        UniqueFd descriptor;  // readable once the process has ended
        QSocketNotifier* notifier;
        Callback onExit;
    };
    void onEnded(int descriptor);

    std::map<int, Child> children_;  // by process descriptor
};

}  // namespace qf
