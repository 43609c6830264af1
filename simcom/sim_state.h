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

#include "simcom/scenario.h"

namespace simcom {

class SimPacket;

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
    std::deque<PacketScript> queue;
    std::int32_t pendingNotes = 0;
    std::int32_t noteSerial = 0;
    bool loadSeenInWake = false;
    StormPoint storm = StormPoint::None;
    std::int32_t stormSignals = 0;

    // Progress the player waits on.
    std::uint64_t batchEnds = 0;  // loads that answered E_FAIL with nothing queued
    std::uint64_t drains = 0;     // takes that answered "nothing pending"

    // Every packet object ever made stays here, so that a call on one the
    // program has already released is seen instead of touching freed memory.
    std::deque<SimPacket*> packets;
    int packetsAlive = 0;
};

SimState& Sim();

// The COM apartment of the calling thread, as CoGetApartmentType tells it:
// STA, MAINSTA, MTA, NA, implicit-MTA, or none.
std::string ApartmentOfThisThread();

void SignalEvent(HANDLE event, std::int32_t times, const char* why);

void StartPlayer();

// Packet class registration, done at API creation.
void RegisterPacketClass(bool present);

// The kernel object's name (last component) and type, or "?" when unknown.
std::string ObjectNameOf(HANDLE handle);
std::string ObjectTypeOf(HANDLE handle);

}  // namespace simcom
