// The component's entry, its API and device objects, and the DLL's start.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "simcom/log.h"
#include "simcom/packet.h"
#include "simcom/sim_state.h"
#include "touchpad/touchpad.h"

namespace simcom {
namespace {

const char* ThreadRole(DWORD thread) { return thread == Sim().mainThread ? "1" : "0"; }

// Logs a call of an operation that the program is not expected to make.
TouchpadResult Unexpected(const char* object, int position) {
    LogLine("error ", object, " operation ", position, " called");
    return static_cast<TouchpadResult>(E_NOTIMPL);
}

// Both objects live as long as the process and count references only to
// show whether the program adds or drops any.
class SimDevice final : public TouchpadDevice {
public:
    TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid&, void** object) override {
        LogLine("error device query");
        if (object != nullptr) {
            *object = nullptr;
        }
        return static_cast<TouchpadResult>(E_NOINTERFACE);
    }
    std::uint32_t TOUCHPAD_CALL AddRef() override {
        const std::uint32_t count = ++references_;
        LogLine("device addref -> ", count);
        return count;
    }
    std::uint32_t TOUCHPAD_CALL Release() override {
        const std::uint32_t count = --references_;
        LogLine("device release -> ", count);
        return count;
    }
    TouchpadResult TOUCHPAD_CALL Unused3() override { return Unexpected("device", 3); }
    TouchpadResult TOUCHPAD_CALL Unused4() override { return Unexpected("device", 4); }
    TouchpadResult TOUCHPAD_CALL Unused5() override { return Unexpected("device", 5); }
    TouchpadResult TOUCHPAD_CALL Unused6() override { return Unexpected("device", 6); }
    TouchpadResult TOUCHPAD_CALL Unused8() override { return Unexpected("device", 8); }

    TouchpadResult TOUCHPAD_CALL SetEventNotification(os::Handle event) override {
        SimState& sim = Sim();
        const HANDLE handle = static_cast<HANDLE>(event);
        LogLine("attach device event=", AddressOf(handle), " name=", ObjectNameOf(handle),
                " type=", ObjectTypeOf(handle), " thread_main=", ThreadRole(GetCurrentThreadId()),
                " com=", ApartmentOfThisThread());
        bool start = false;
        {
            const std::lock_guard<std::mutex> lock(sim.mutex);
            sim.deviceEvent = handle;
            start = !sim.playerStarted;
            sim.playerStarted = true;
        }
        if (start) {
            StartPlayer();
        }
        return TOUCHPAD_OK;
    }

    TouchpadResult TOUCHPAD_CALL LoadPacket(TouchpadPacket* packet) override {
        SimState& sim = Sim();
        std::unique_lock<std::mutex> lock(sim.mutex);
        if (packet == nullptr) {
            LogLine("load null -> ", HexOf(sim.scenario.nullLoadResult));
            return sim.scenario.nullLoadResult;
        }
        const auto known = sim.packets.find(static_cast<const void*>(packet));
        SimPacket* const target = known == sim.packets.end() ? nullptr : known->second;
        if (target == nullptr) {
            LogLine("error load into unknown object ", AddressOf(packet));
            return static_cast<TouchpadResult>(E_INVALIDARG);
        }
        if (target->Released()) {
            LogLine("error load into released packet ", target->Number());
        }
        if (!sim.queue.Empty() && sim.queue.Front().gate) {
            // The program waits in this load while the test looks at it.
            lock.unlock();
            WaitAtGate(GATE_TIMEOUT_MS);
            lock.lock();
        }
        const bool firstLoad = !sim.loadSeenInWake;
        sim.loadSeenInWake = true;
        if (firstLoad && sim.storm == StormPoint::During) {
            SignalEvent(sim.deviceEvent, sim.stormSignals, "storm during batch");
            sim.storm = StormPoint::None;
        }
        if (sim.queue.Empty()) {
            ++sim.batchEnds;
            QueryPerformanceCounter(&sim.lastBatchEnd);
            if (!sim.quiet) {
                LogLine("load ", target->Number(), " -> ", HexOf(RESULT_E_FAIL));
                LogLine("batch ", sim.batchEnds, " end");
            }
            if (sim.storm == StormPoint::After) {
                SignalEvent(sim.deviceEvent, sim.stormSignals, "storm after batch");
                sim.storm = StormPoint::None;
            }
            lock.unlock();
            sim.changed.notify_all();
            return RESULT_E_FAIL;
        }
        const PacketScript& next = sim.queue.Front();
        const std::int32_t result = next.loadResult;
        ++sim.itemInWake;
        ++sim.packetsLoaded;
        target->Load(next);
        if (!sim.quiet) {
            LogLine("load ", target->Number(), " -> ", HexOf(result), " item ", sim.wake, '.', sim.itemInWake,
                    " word=", HexOf(next.word));
        }
        sim.queue.Pop();
        if (result == RESULT_E_FAIL) {
            // A scripted "no packet" ends the batch as the empty queue does;
            // the packets after it stay queued until the next wake-up drops them.
            ++sim.batchEnds;
            QueryPerformanceCounter(&sim.lastBatchEnd);
            if (!sim.quiet) {
                LogLine("batch ", sim.batchEnds, " end");
            }
            if (sim.storm == StormPoint::After) {
                SignalEvent(sim.deviceEvent, sim.stormSignals, "storm after batch");
                sim.storm = StormPoint::None;
            }
            lock.unlock();
            sim.changed.notify_all();
        }
        return result;
    }

private:
    std::atomic<std::uint32_t> references_{1};
};

class SimApi final : public TouchpadApi {
public:
    TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid&, void** object) override {
        LogLine("error api query");
        if (object != nullptr) {
            *object = nullptr;
        }
        return static_cast<TouchpadResult>(E_NOINTERFACE);
    }
    std::uint32_t TOUCHPAD_CALL AddRef() override {
        const std::uint32_t count = ++references_;
        LogLine("api addref -> ", count);
        return count;
    }
    std::uint32_t TOUCHPAD_CALL Release() override {
        const std::uint32_t count = --references_;
        LogLine("api release -> ", count);
        return count;
    }
    TouchpadResult TOUCHPAD_CALL Unused3() override { return Unexpected("api", 3); }
    TouchpadResult TOUCHPAD_CALL Unused6() override { return Unexpected("api", 6); }
    TouchpadResult TOUCHPAD_CALL Unused7() override { return Unexpected("api", 7); }
    TouchpadResult TOUCHPAD_CALL Unused8() override { return Unexpected("api", 8); }

    TouchpadResult TOUCHPAD_CALL FindDevice(std::int32_t reserved, std::int32_t kind, std::int32_t* handle) override {
        const SearchAnswer answer = SearchAnswerFor(Sim().scenario, kind);
        if (handle == nullptr) {
            LogLine("search ", kind, " reserved=", reserved, " handle=null -> ", HexOf(answer.result));
            return answer.result;
        }
        const std::int32_t before = *handle;
        if (answer.handle) {
            *handle = *answer.handle;
        }
        LogLine("search ", kind, " reserved=", reserved, " before=", before, " -> ", HexOf(answer.result),
                " handle=", *handle);
        return answer.result;
    }

    TouchpadResult TOUCHPAD_CALL OpenDevice(std::int32_t handle, TouchpadDevice** device) override;

    TouchpadResult TOUCHPAD_CALL SetEventNotification(os::Handle event) override {
        const HANDLE handle = static_cast<HANDLE>(event);
        LogLine("attach api event=", AddressOf(handle), " name=", ObjectNameOf(handle), " type=", ObjectTypeOf(handle),
                " thread_main=", ThreadRole(GetCurrentThreadId()), " com=", ApartmentOfThisThread());
        return TOUCHPAD_OK;
    }

    TouchpadResult TOUCHPAD_CALL TakeNotification(std::int32_t* parameter) override {
        SimState& sim = Sim();
        std::unique_lock<std::mutex> lock(sim.mutex);
        if (sim.pendingNotes > 0) {
            --sim.pendingNotes;
            ++sim.noteSerial;
            if (parameter != nullptr) {
                *parameter = sim.noteSerial;
            }
            if (!sim.quiet) {
                LogLine("take -> ", HexOf(TOUCHPAD_OK), " pending=", sim.pendingNotes);
            }
            return TOUCHPAD_OK;
        }
        ++sim.drains;
        if (!sim.quiet) {
            LogLine("take -> ", HexOf(sim.scenario.takeEmptyResult), " pending=0");
        }
        lock.unlock();
        sim.changed.notify_all();
        return sim.scenario.takeEmptyResult;
    }

private:
    std::atomic<std::uint32_t> references_{1};
};

SimDevice& Device() {
    // Never destroyed: the program keeps it for its whole life.
    static SimDevice* device = new SimDevice;
    return *device;
}

SimApi& Api() {
    static SimApi* api = new SimApi;
    return *api;
}

TouchpadResult TOUCHPAD_CALL SimApi::OpenDevice(std::int32_t handle, TouchpadDevice** device) {
    const std::int32_t result = Sim().scenario.openResult;
    LogLine("open handle=", handle, " -> ", HexOf(result));
    // The object is handed out even with a failure code, so that a program
    // that went on regardless shows up in the log instead of crashing.
    if (device != nullptr) {
        *device = &Device();
    }
    return result;
}

std::string ReadScenarioText(const std::wstring& path, bool& found) {
    std::ifstream file(path.c_str(), std::ios::binary);
    found = static_cast<bool>(file);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Everything that must happen once before the first answer: the log, the
// scenario and the packet class.
void StartOnce() {
    SimState& sim = Sim();
    OpenLogFromEnvironment();
    const std::wstring scenarioPath = PathFromEnvironment(L"TALVEK_SIM_SCENARIO");
    const HMODULE image = GetModuleHandleW(nullptr);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(image) + dos->e_lfanew);
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(image);
    LogLine("sim start pid=", Hex{GetCurrentProcessId()}, " main_thread=", sim.mainThread, " image=", Address{base}, '-',
            Address{base + nt->OptionalHeader.SizeOfImage}, " scenario=", Narrow(scenarioPath));
    if (!scenarioPath.empty()) {
        bool found = false;
        const std::string text = ReadScenarioText(scenarioPath, found);
        if (!found) {
            LogLine("error scenario not readable: ", Narrow(scenarioPath));
        }
        ParsedScenario parsed = ParseScenario(text);
        for (const std::string& error : parsed.errors) {
            LogLine("error scenario ", error);
        }
        const std::lock_guard<std::mutex> lock(sim.mutex);
        sim.scenario = std::move(parsed.scenario);
    }
    RegisterPacketClass(sim.scenario.classPresent);
}

}  // namespace

SimState& Sim() {
    // Never destroyed: the player thread may still use it while the process ends.
    static SimState* state = new SimState;
    return *state;
}

void SignalEvent(HANDLE event, std::int32_t times, const char* why) {
    int succeeded = 0;
    for (std::int32_t i = 0; i < times; ++i) {
        succeeded += SetEvent(event) ? 1 : 0;
    }
    LogLine("signal event=", AddressOf(event), " times=", times, " ok=", succeeded, " (", why, ')');
}

}  // namespace simcom

extern "C" TouchpadResult TOUCHPAD_CALL SynCreateAPI(TouchpadApi** api) {
    using namespace simcom;
    static std::once_flag started;
    std::call_once(started, StartOnce);
    const std::int32_t result = Sim().scenario.createResult;
    LogLine("create -> ", HexOf(result), " thread_main=", ThreadRole(GetCurrentThreadId()),
            " com=", ApartmentOfThisThread());
    // Handed out whatever the result, for the reason given in OpenDevice.
    if (api != nullptr) {
        *api = &Api();
    }
    return result;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Bound at load time, so this runs on the program's main thread.
        simcom::Sim().mainThread = GetCurrentThreadId();
        simcom::Sim().module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
