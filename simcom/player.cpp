// The script player: a thread started by the device's event attach that
// plays the scenario's steps in order. A wake-up is handed over only after
// the program has finished the one before, so each run of a scenario gives
// the program the same batches.
#include <windows.h>

#include <chrono>
#include <future>
#include <thread>

#include "simcom/log.h"
#include "simcom/sim_state.h"

namespace simcom {
namespace {

constexpr wchar_t WINDOW_CLASS[] = L"TalvekSimWindow";
constexpr std::chrono::milliseconds RELEASE_GRACE{2000};

struct TestWindow {
    HWND top = nullptr;
    HWND child = nullptr;
};

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs on its own thread for the rest of the process: moving a window from
// another thread sends messages to the owner, so the owner must pump.
void OwnWindow(WindowStep step, std::promise<TestWindow> made) {
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
    made.set_value(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
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
        ++wakes_;
        if (!sim.queue.empty()) {
            LogLine("wake ", wakes_, " drops ", sim.queue.size(), " packets left from before");
        }
        sim.wake = wakes_;
        sim.itemInWake = 0;
        sim.queue.assign(step.packets.begin(), step.packets.end());
        sim.pendingNotes = step.notes;
        sim.loadSeenInWake = false;
        sim.storm = step.storm;
        sim.stormSignals = step.stormSignals;
        // A storm raised while the program is busy merges into exactly one
        // further wake-up, which finds no packet.
        const std::uint64_t batchTarget = sim.batchEnds + (step.storm == StormPoint::None ? 1u : 2u);
        const std::uint64_t drainTarget = sim.drains + 1;
        const HANDLE event = sim.deviceEvent;
        LogLine("wake ", wakes_, " notes=", step.notes, " packets=", step.packets.size());
        SignalEvent(event, 1, "wake");
        const bool finished = sim.changed.wait_for(lock, std::chrono::milliseconds(step.timeoutMs), [&] {
            return step.until == WakeEnd::Drained ? sim.drains >= drainTarget : sim.batchEnds >= batchTarget;
        });
        // The batch is over once the object of its last load is released too,
        // so that everything the program does for this wake-up is logged
        // before the player goes on. A program that keeps objects gets a
        // short grace, and the log shows what is left.
        if (finished && step.until == WakeEnd::BatchEnd) {
            sim.changed.wait_for(lock, RELEASE_GRACE, [&] { return sim.packetsAlive == 0; });
        }
        LogLine("wake ", wakes_, finished ? " finished" : " timeout", " alive=", sim.packetsAlive);
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
                rect.top, ' ', rect.right, ' ', rect.bottom);
        if (window_.top == nullptr) {
            LogLine("error test window not created, error ", GetLastError());
        }
    }

    void Play(const CursorStep& step) {
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
