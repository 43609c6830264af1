#include "gesture/drag_thread.h"

namespace {

// Holds a platform lock for as long as it lives.
class LockHeld {
public:
    explicit LockHeld(os::Lock& lock) : lock_(lock) { os::AcquireLock(lock_); }
    LockHeld(const LockHeld&) = delete;
    LockHeld& operator=(const LockHeld&) = delete;
    ~LockHeld() { os::ReleaseLock(lock_); }

private:
    os::Lock& lock_;
};

}  // namespace

DragThread::DragThread() {
    started_ = os::StartThread(thread_, &DragThread::ThreadMain, this);
}

DragThread::~DragThread() {
    if (!started_) {
        return;
    }
    {
        LockHeld held(lock_);
        stopping_ = true;
        os::WakeAllOnCondition(changed_);
    }
    thread_.join();
}

void DragThread::Run(os::DesktopHandle desktop, void (*work)(void*), void* context) {
    if (!started_) {
        work(context);
        return;
    }
    bool ranThere = false;
    {
        LockHeld held(lock_);
        wanted_ = desktop;
        work_ = work;
        context_ = context;
        pending_ = true;
        os::WakeAllOnCondition(changed_);
        while (pending_) {
            os::SleepOnCondition(changed_, lock_);
        }
        ranThere = ranHere_;
    }
    if (!ranThere) {
        work(context);  // the thread couldn't be bound: the caller's own desktop is the best left
    }
}

void DragThread::ThreadMain(void* self) {
    static_cast<DragThread*>(self)->Serve();
}

void DragThread::Serve() {
    for (;;) {
        os::DesktopHandle wanted = nullptr;
        void (*work)(void*) = nullptr;
        void* context = nullptr;
        {
            LockHeld held(lock_);
            while (!pending_ && !stopping_) {
                os::SleepOnCondition(changed_, lock_);
            }
            if (stopping_) {
                return;
            }
            wanted = wanted_;
            work = work_;
            context = context_;
        }

        bool bound = true;
        if (wanted != nullptr && wanted != bound_) {
            bound = os::SetThreadDesktop(wanted);
            if (bound) {
                bound_ = wanted;
            }
        }
        if (bound) {
            work(context);
        }

        LockHeld held(lock_);
        ranHere_ = bound;
        pending_ = false;
        os::WakeAllOnCondition(changed_);
    }
}
