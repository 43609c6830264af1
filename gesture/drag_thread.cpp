#include "gesture/drag_thread.h"

DragThread::DragThread() {
    started_ = os::StartThread(thread_, &DragThread::ThreadMain, this);
}

DragThread::~DragThread() {
    if (!started_) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void DragThread::Run(os::DesktopHandle desktop, void (*work)(void*), void* context) {
    if (!started_) {
        work(context);
        return;
    }
    bool ranThere = false;
    {
        std::unique_lock lock(mutex_);
        wanted_ = desktop;
        work_ = work;
        context_ = context;
        pending_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pending_; });
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
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return pending_ || stopping_; });
        if (stopping_) {
            return;
        }
        const os::DesktopHandle wanted = wanted_;
        void (*work)(void*) = work_;
        void* context = context_;
        lock.unlock();

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

        lock.lock();
        ranHere_ = bound;
        pending_ = false;
        changed_.notify_all();
    }
}
