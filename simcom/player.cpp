// The script player: a thread started by the device's event attach that
// plays the scenario's steps in order. A wake-up is handed over only after
// the program has finished the one before, so each run of a scenario gives
// the program the same batches.
#include <windows.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "simcom/log.h"
#include "simcom/measure.h"
#include "simcom/sim_state.h"

namespace simcom {
namespace {

constexpr wchar_t WINDOW_CLASS[] = L"TalvekSimWindow";
constexpr std::chrono::milliseconds RELEASE_GRACE{2000};

struct TestWindow {
    HWND top = nullptr;
    HWND child = nullptr;
    // Made on a desktop of its own: the cursor and window lookups of the
    // script act through the calling thread's desktop, so they run on the
    // window's thread, which is bound to it.
    bool onOwnDesktop = false;
};

// Work the player hands to the window's thread, which runs it between
// messages. Never freed: the window thread outlives the player.
struct WindowThreadWork {
    HANDLE request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::function<void()> work;

    void Run(std::function<void()> next) {
        work = std::move(next);
        SetEvent(request);
        WaitForSingleObject(done, INFINITE);
    }
};

WindowThreadWork& WindowThread() {
    static WindowThreadWork* work = new WindowThreadWork;
    return *work;
}

// Binds the calling thread to the named desktop; false (and logged) when it can't.
bool BindToDesktop(const std::string& name) {
    const std::wstring wide(name.begin(), name.end());
    const HDESK desktop = OpenDesktopW(wide.c_str(), 0, FALSE, GENERIC_ALL);
    if (desktop == nullptr) {
        LogLine("error test window desktop ", name, " not opened, error ", GetLastError());
        return false;
    }
    if (!SetThreadDesktop(desktop)) {
        LogLine("error test window desktop ", name, " not bound, error ", GetLastError());
        return false;
    }
    return true;  // the handle stays open: the thread is bound to it
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs on its own thread for the rest of the process: moving a window from
// another thread sends messages to the owner, so the owner must pump.
void OwnWindow(WindowStep step, std::promise<TestWindow> made) {
    if (!step.desktop.empty() && !BindToDesktop(step.desktop)) {
        made.set_value(TestWindow{});
        return;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = Sim().module;
    windowClass.lpszClassName = WINDOW_CLASS;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    RegisterClassW(&windowClass);

    TestWindow window;
    window.top = CreateWindowExW(0, WINDOW_CLASS, L"talvek test window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, step.x,
                                 step.y, step.width, step.height, nullptr, nullptr, Sim().module, nullptr);
    if (window.top != nullptr && step.child) {
        RECT client{};
        GetClientRect(window.top, &client);
        // A button, not a static: WindowFromPoint passes through statics.
        window.child = CreateWindowExW(0, L"BUTTON", L"child", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0,
                                       client.right, client.bottom, window.top, nullptr, Sim().module, nullptr);
    }
    if (window.top != nullptr) {
        ShowWindow(window.top, SW_SHOW);
        UpdateWindow(window.top);
        SetForegroundWindow(window.top);
    }
    window.onOwnDesktop = !step.desktop.empty();
    made.set_value(window);
    WindowThreadWork& handed = WindowThread();
    for (;;) {
        if (MsgWaitForMultipleObjects(1, &handed.request, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) {
            handed.work();
            SetEvent(handed.done);
            continue;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

const char* HitName(HWND hit, const TestWindow& window) {
    if (hit == nullptr) {
        return "none";
    }
    if (hit == window.top) {
        return "top";
    }
    if (hit != nullptr && hit == window.child) {
        return "child";
    }
    return "other";
}

class Player {
public:
    void Run() {
        LogLine("player start");
        for (const Step& step : Sim().scenario.steps) {
            std::visit([this](const auto& item) { Play(item); }, step);
        }
        LogLine("done");
    }

private:
    void Play(const WakeStep& step) {
        SimState& sim = Sim();
        std::unique_lock<std::mutex> lock(sim.mutex);
        sim.quiet = step.quiet;
        const int firstWake = wakes_ + 1;
        const int lastWake = wakes_ + step.repeat;
        const std::uint64_t loadedBefore = sim.packetsLoaded;
        if (step.quiet) {
            LogLine("burst start wakes=", firstWake, '-', lastWake,
                    " packets=", step.packets.size() * static_cast<std::size_t>(step.cycles));
        }
        LARGE_INTEGER signalled{};
        int finished = 0;
        while (finished < step.repeat && PlayOnce(step, lock, finished == 0 ? &signalled : nullptr)) {
            ++finished;
        }
        if (step.quiet) {
            LARGE_INTEGER frequency{};
            QueryPerformanceFrequency(&frequency);
            const LONGLONG ticks = sim.lastBatchEnd.QuadPart - signalled.QuadPart;
            LogLine("burst end wakes=", firstWake, '-', firstWake + finished - 1, " loaded=",
                    sim.packetsLoaded - loadedBefore, " start=", signalled.QuadPart, " end=", sim.lastBatchEnd.QuadPart,
                    " freq=", frequency.QuadPart, " us=", ticks * 1000000 / frequency.QuadPart);
        }
        sim.quiet = false;
    }

    // One wake-up of the step; false when the program did not finish it in time.
    bool PlayOnce(const WakeStep& step, std::unique_lock<std::mutex>& lock, LARGE_INTEGER* signalled) {
        SimState& sim = Sim();
        ++wakes_;
        if (!sim.queue.Empty()) {
            LogLine("wake ", wakes_, " drops ", sim.queue.Size(), " packets left from before");
        }
        sim.wake = wakes_;
        sim.itemInWake = 0;
        sim.queue.Assign(step.packets, step.cycles);
        sim.pendingNotes = step.notes;
        sim.loadSeenInWake = false;
        sim.storm = step.storm;
        sim.stormSignals = step.stormSignals;
        // A storm raised while the program is busy merges into exactly one
        // further wake-up, which finds no packet.
        const std::uint64_t batchTarget = sim.batchEnds + (step.storm == StormPoint::None ? 1u : 2u);
        const std::uint64_t drainTarget = sim.drains + 1;
        const HANDLE event = sim.deviceEvent;
        if (step.quiet) {
            if (signalled != nullptr) {
                QueryPerformanceCounter(signalled);
            }
            SetEvent(event);
        } else {
            LogLine("wake ", wakes_, " notes=", step.notes, " packets=", sim.queue.Size());
            SignalEvent(event, 1, "wake");
        }
        const bool finished = sim.changed.wait_for(lock, std::chrono::milliseconds(step.timeoutMs), [&] {
            return step.until == WakeEnd::Drained ? sim.drains >= drainTarget : sim.batchEnds >= batchTarget;
        });
        // The batch is over once the object of its last load is released too,
        // so that everything the program does for this wake-up is logged
        // before the player goes on. A program that keeps objects gets a
        // short grace, and the log shows what is left.
        if (finished && step.until == WakeEnd::BatchEnd) {
            sim.awaitingRelease = true;
            sim.changed.wait_for(lock, RELEASE_GRACE, [&] { return sim.packetsAlive == 0; });
            sim.awaitingRelease = false;
        }
        if (!step.quiet || !finished) {
            LogLine("wake ", wakes_, finished ? " finished" : " timeout", " alive=", sim.packetsAlive);
        }
        return finished;
    }

    void Play(const WindowStep& step) {
        std::promise<TestWindow> made;
        std::future<TestWindow> ready = made.get_future();
        // Detached: the window thread pumps until the process is ended.
        std::thread(OwnWindow, step, std::move(made)).detach();
        window_ = ready.get();
        RECT rect{};
        GetWindowRect(window_.top, &rect);
        LogLine("window top=", AddressOf(window_.top), " child=", AddressOf(window_.child), " rect ", rect.left, ' ',
                rect.top, ' ', rect.right, ' ', rect.bottom, step.desktop.empty() ? "" : " desktop ", step.desktop);
        if (window_.top == nullptr) {
            LogLine("error test window not created, error ", GetLastError());
        }
    }

    // Runs `work` where the test window's desktop is the calling thread's.
    void OnWindowDesktop(const std::function<void()>& work) {
        if (window_.onOwnDesktop) {
            WindowThread().Run(work);
        } else {
            work();
        }
    }

    void Play(const CursorStep& step) {
        OnWindowDesktop([&] { SetCursor(step); });
    }

    void SetCursor(const CursorStep& step) {
        const BOOL set = SetCursorPos(step.x, step.y);
        POINT now{};
        GetCursorPos(&now);
        LogLine("cursor set ", step.x, ' ', step.y, " ok=", set ? 1 : 0, " now ", now.x, ' ', now.y);
    }

    void Play(const PauseStep& step) {
        Sleep(step.ms);
        LogLine("pause ", step.ms);
    }

    void Play(const ObserveStep&) {
        OnWindowDesktop([this] { Observe(); });
    }

    void Observe() {
        POINT cursor{};
        GetCursorPos(&cursor);
        const HWND hit = WindowFromPoint(cursor);
        if (window_.top == nullptr) {
            LogLine("observe window none cursor ", cursor.x, ' ', cursor.y, " hit ", HitName(hit, window_));
            return;
        }
        RECT rect{};
        GetWindowRect(window_.top, &rect);
        LogLine("observe window ", rect.left, ' ', rect.top, ' ', rect.right, ' ', rect.bottom, " cursor ", cursor.x,
                ' ', cursor.y, " hit ", HitName(hit, window_));
    }

    void Play(const CpuStep&) {
        FILETIME created{};
        FILETIME ended{};
        FILETIME kernel{};
        FILETIME user{};
        GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
        const auto ticks = [](const FILETIME& time) {
            return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        };
        // FILETIME counts 100 ns.
        LogLine("cpu ", (ticks(kernel) + ticks(user)) / 10, " us");
    }

    void Play(const MeasureStep&) {
        const ProcessMeasures measures = MeasureProcess();
        LogLine("measure handles=", Known(measures.handles), " private_kb=", Known(measures.privateKb),
                " ws_kb=", Known(measures.workingSetKb), " peak_ws_kb=", Known(measures.peakWorkingSetKb),
                " cpu_us=", Known(measures.cpuUs), " since_start_ms=", Known(measures.sinceStartMs));
    }

    void Play(const GateStep& step) { WaitAtGate(step.timeoutMs); }

    void Play(const ClassStep& step) { RegisterPacketClass(step.present); }

    int wakes_ = 0;
    TestWindow window_;
};

}  // namespace

void StartPlayer() {
    // Detached: the program never ends on its own, it is ended from outside.
    std::thread([] {
        Player player;
        player.Run();
    }).detach();
}

}  // namespace simcom
