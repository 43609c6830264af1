// The thread that makes the window drag's window and cursor calls.
//
// Those calls act through the calling thread's desktop, and the cursor
// calls need it to be the input desktop. The main thread can't follow the
// input desktop: once it has joined a COM apartment it owns a window, and a
// thread that owns a window can't be bound to another desktop. This thread
// never creates a window, a hook or an apartment, so it can be rebound
// whenever the desktop shown changes.
#pragma once

#include <thread>

#include "platform/platform.h"

class DragThread {
public:
    // Starts the thread. If no thread can be had, every Run is made on the
    // calling thread instead.
    DragThread();
    DragThread(const DragThread&) = delete;
    DragThread& operator=(const DragThread&) = delete;
    // The program keeps its DragThread for the life of the process; tests
    // end theirs here.
    ~DragThread();

    // Runs work(context) on the thread, first bound to `desktop` when that
    // is not the desktop it is bound to already, and returns when the work
    // is done. A null desktop leaves the binding as it was. When the thread
    // can't be bound, the work runs on the calling thread.
    void Run(os::DesktopHandle desktop, void (*work)(void*), void* context);

private:
    static void ThreadMain(void* self);
    void Serve();

    std::thread thread_;
    bool started_ = false;

    // The hand-over: the caller fills these and waits until `pending_` is
    // false again. The platform's own lock and condition: the standard
    // library's cost some 30 server requests a hand-over under Wine.
    os::Lock lock_;
    os::Condition changed_;
    bool pending_ = false;
    bool stopping_ = false;
    bool ranHere_ = false;
    os::DesktopHandle wanted_ = nullptr;
    void (*work_)(void*) = nullptr;
    void* context_ = nullptr;

    os::DesktopHandle bound_ = nullptr;  // touched by the thread alone
};
