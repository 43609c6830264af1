// What the component's objects and the script player share. The program
// calls the objects on its own thread while the player runs on another, so
// every field below is read and written under `mutex`.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "simcom/scenario.h"

namespace simcom {

class SimPacket;

// The packets of the wake-up being delivered: its packet list, given a
// number of times over, without copying it that many times.
class PacketFeed {
public:
    void Assign(const std::vector<PacketScript>& packets, std::int32_t cycles) {
        packets_ = packets;
        next_ = 0;
        cyclesLeft_ = packets_.empty() ? 0 : cycles;
    }
    bool Empty() const { return cyclesLeft_ == 0; }
    std::uint64_t Size() const {
        if (Empty()) {
            return 0;
        }
        return static_cast<std::uint64_t>(cyclesLeft_ - 1) * packets_.size() + (packets_.size() - next_);
    }
    const PacketScript& Front() const { return packets_[next_]; }
    void Pop() {
        if (++next_ == packets_.size()) {
            next_ = 0;
            --cyclesLeft_;
        }
    }

private:
    std::vector<PacketScript> packets_;
    std::size_t next_ = 0;
    std::int32_t cyclesLeft_ = 0;  // the cycle in progress included
};

struct SimState {
    std::mutex mutex;
    std::condition_variable changed;

    Scenario scenario;  // set at the first SynCreateAPI, before anyone reads it; fixed after
    DWORD mainThread = 0;  // the thread that loaded the DLL
    HMODULE module = nullptr;

    HANDLE deviceEvent = nullptr;
    bool playerStarted = false;

    // The wake-up being delivered.
    int wake = 0;
    int itemInWake = 0;
    PacketFeed queue;
    std::int32_t pendingNotes = 0;
    std::int32_t noteSerial = 0;
    bool loadSeenInWake = false;
    StormPoint storm = StormPoint::None;
    std::int32_t stormSignals = 0;
    bool quiet = false;  // the wake-up's per-packet facts are not logged

    std::uint64_t packetsLoaded = 0;   // loads that handed out a packet
    LARGE_INTEGER lastBatchEnd{};      // QueryPerformanceCounter at the latest batch end

    // Progress the player waits on.
    std::uint64_t batchEnds = 0;  // loads that answered E_FAIL: nothing queued, or scripted
    std::uint64_t drains = 0;     // takes that answered "nothing pending"
    // The player waits for the batch's last object to be released: only then
    // does a release wake it, not at every packet of a long batch.
    bool awaitingRelease = false;

    // Packet objects are never freed, so that a call on one the program has
    // already released is seen instead of touching freed memory. A released
    // object waits in `quarantine` until QUARANTINE_SIZE others have been
    // released after it; only then is it handed out again, under a new
    // number, which keeps memory flat over a long run.
    static constexpr std::size_t QUARANTINE_SIZE = 4096;
    std::unordered_map<const void*, SimPacket*> packets;  // every object, by its address
    std::deque<SimPacket*> quarantine;                     // released, oldest first
    int packetsMade = 0;
    int packetsAlive = 0;
};

SimState& Sim();

// The COM apartment of the calling thread, as CoGetApartmentType tells it:
// STA, MAINSTA, MTA, NA, implicit-MTA, or none.
std::string ApartmentOfThisThread();

void SignalEvent(HANDLE event, std::int32_t times, const char* why);

void StartPlayer();

// Waits until the test opens the next gate, or the time-out passes (see gate.cpp).
void WaitAtGate(std::uint32_t timeoutMs);

// Packet class registration, done at API creation.
void RegisterPacketClass(bool present);

// The kernel object's name (last component) and type, or "?" when unknown.
std::string ObjectNameOf(HANDLE handle);
std::string ObjectTypeOf(HANDLE handle);

}  // namespace simcom
