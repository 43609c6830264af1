// Stand-ins for the touchpad component's objects, and a way to read what the
// program wrote to standard output.
#pragma once

#include <cstdint>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "touchpad/touchpad.h"

namespace fakes {

// What one packet carries, as the device will load it.
struct PacketData {
    std::int32_t word = 0;
    std::int32_t state = 0;
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    TouchpadResult loadResult = TOUCHPAD_OK;
    std::set<std::int32_t> failingProperties;  // reads that fail, leaving the value alone
};

inline PacketData Swipe(std::int32_t dx, std::int32_t dy, std::int32_t state = 0) {
    return {0x303, state, dx, dy, TOUCHPAD_OK, {}};
}
inline PacketData Drag(std::int32_t dx, std::int32_t dy) {
    return {4, 0, dx, dy, TOUCHPAD_OK, {}};
}
inline PacketData Lift() {
    return {0, 0, 0, 0, TOUCHPAD_OK, {}};
}
inline PacketData Word(std::int32_t word, std::int32_t dx = 0, std::int32_t dy = 0) {
    return {word, 0, dx, dy, TOUCHPAD_OK, {}};
}

// Every packet object's life, kept apart from the objects themselves so that
// a double release shows up (ASan catches the use after free) and a missing
// one shows in the counts.
struct PacketLedger {
    int created = 0;
    int released = 0;
    std::vector<std::int32_t> reads;  // property ids, in the order read
};

class FakePacket final : public TouchpadPacket {
public:
    explicit FakePacket(PacketLedger& ledger) : ledger_(ledger) { ++ledger_.created; }

    TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid&, void** object) override {
        *object = nullptr;
        return static_cast<TouchpadResult>(0x80004002u);
    }
    std::uint32_t TOUCHPAD_CALL AddRef() override { return ++references_; }
    std::uint32_t TOUCHPAD_CALL Release() override {
        const std::uint32_t left = --references_;
        if (left == 0) {
            ++ledger_.released;
            delete this;
        }
        return left;
    }
    TouchpadResult TOUCHPAD_CALL GetProperty(std::int32_t property, std::int32_t* value) override {
        ledger_.reads.push_back(property);
        if (data.failingProperties.count(property) != 0) {
            return static_cast<TouchpadResult>(0x80070057u);
        }
        switch (property) {
            case PROP_CONTACT_WORD:
                *value = data.word;
                break;
            case PROP_STATE:
                *value = data.state;
                break;
            case PROP_DELTA_X:
                *value = data.dx;
                break;
            case PROP_DELTA_Y:
                *value = data.dy;
                break;
            default:
                return static_cast<TouchpadResult>(0x80070057u);
        }
        return TOUCHPAD_OK;
    }

    PacketData data;

private:
    ~FakePacket() = default;
    PacketLedger& ledger_;
    std::uint32_t references_ = 1;
};

// A packet held by a test, released when the test is done with it.
struct HeldPacket {
    explicit HeldPacket(PacketLedger& ledger, PacketData data) : packet(new FakePacket(ledger)) {
        packet->data = std::move(data);
    }
    HeldPacket(const HeldPacket&) = delete;
    HeldPacket& operator=(const HeldPacket&) = delete;
    ~HeldPacket() { packet->Release(); }
    FakePacket* packet;
};

class FakeDevice final : public TouchpadDevice {
public:
    TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid&, void**) override { return -1; }
    std::uint32_t TOUCHPAD_CALL AddRef() override { return 2; }
    std::uint32_t TOUCHPAD_CALL Release() override {
        ++releases;
        return 1;
    }
    TouchpadResult TOUCHPAD_CALL Unused3() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused4() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused5() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused6() override { return -1; }
    TouchpadResult TOUCHPAD_CALL SetEventNotification(os::Handle event) override {
        log->push_back("device.attach");
        attachedEvent = event;
        return TOUCHPAD_OK;
    }
    TouchpadResult TOUCHPAD_CALL Unused8() override { return -1; }
    TouchpadResult TOUCHPAD_CALL LoadPacket(TouchpadPacket* packet) override {
        log->push_back("device.load");
        ++loads;
        if (packet == nullptr) {
            ++loadsIntoNothing;
            return TOUCHPAD_OK;
        }
        if (queue.empty()) {
            return TOUCHPAD_NO_PACKET;
        }
        auto* fake = static_cast<FakePacket*>(packet);
        fake->data = queue.front();
        queue.pop_front();
        return fake->data.loadResult;
    }

    std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
    std::deque<PacketData> queue;
    os::Handle attachedEvent = nullptr;
    int loads = 0;
    int loadsIntoNothing = 0;
    int releases = 0;
};

struct SearchAnswer {
    TouchpadResult result;
    std::optional<std::int32_t> handleWritten;
};

class FakeApi final : public TouchpadApi {
public:
    TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid&, void**) override { return -1; }
    std::uint32_t TOUCHPAD_CALL AddRef() override { return 2; }
    std::uint32_t TOUCHPAD_CALL Release() override {
        ++releases;
        return 1;
    }
    TouchpadResult TOUCHPAD_CALL Unused3() override { return -1; }
    TouchpadResult TOUCHPAD_CALL FindDevice(std::int32_t reserved, std::int32_t kind, std::int32_t* handle) override {
        log->push_back("search(" + std::to_string(reserved) + "," + std::to_string(kind) + ")");
        const auto answer = searches.find(kind);
        if (answer == searches.end()) {
            return static_cast<TouchpadResult>(0x80004005u);
        }
        if (answer->second.handleWritten) {
            *handle = *answer->second.handleWritten;
        }
        return answer->second.result;
    }
    TouchpadResult TOUCHPAD_CALL OpenDevice(std::int32_t handle, TouchpadDevice** opened) override {
        log->push_back("open(" + std::to_string(handle) + ")");
        if (openResult == TOUCHPAD_OK) {
            *opened = &device;
        }
        return openResult;
    }
    TouchpadResult TOUCHPAD_CALL Unused6() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused7() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused8() override { return -1; }
    TouchpadResult TOUCHPAD_CALL SetEventNotification(os::Handle event) override {
        log->push_back("api.attach");
        attachedEvent = event;
        return TOUCHPAD_OK;
    }
    TouchpadResult TOUCHPAD_CALL TakeNotification(std::int32_t* parameter) override {
        log->push_back("api.take(" + std::to_string(*parameter) + ")");
        *parameter = 77;  // whatever the component delivers; the program ignores it
        if (pendingNotifications == 0) {
            return 1;
        }
        --pendingNotifications;
        return TOUCHPAD_OK;
    }

    FakeDevice device;
    // One log for the API and its device, so their order shows.
    std::shared_ptr<std::vector<std::string>> log = device.log;
    std::map<std::int32_t, SearchAnswer> searches;
    TouchpadResult openResult = TOUCHPAD_OK;
    int pendingNotifications = 0;
    os::Handle attachedEvent = nullptr;
    int releases = 0;
};

// Collects what std::cout receives while it lives.
class CapturedOutput {
public:
    CapturedOutput() : previous_(std::cout.rdbuf(text_.rdbuf())) {}
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    ~CapturedOutput() {
        std::cout.rdbuf(previous_);
        std::cout.clear();
    }
    std::string str() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* previous_;
};

}  // namespace fakes
