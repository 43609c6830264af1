// The packet object that the program creates through COM from the ProgID
// "SynCom.SynPacket" and that the device loads one scripted packet into.
#pragma once

#include <atomic>
#include <cstdint>

#include "simcom/scenario.h"
#include "touchpad/touchpad.h"

namespace simcom {

class SimPacket final : public TouchpadPacket {
public:
    explicit SimPacket(int number) : number_(number) {}

    TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid& iid, void** object) override;
    std::uint32_t TOUCHPAD_CALL AddRef() override;
    std::uint32_t TOUCHPAD_CALL Release() override;
    TouchpadResult TOUCHPAD_CALL GetProperty(std::int32_t property, std::int32_t* value) override;

    int Number() const { return number_; }
    bool Released() const { return references_.load() == 0; }
    // Called by the device, under the shared lock.
    void Load(const PacketScript& data);
    // Makes a released object a fresh one under a new number; called by the
    // factory, under the shared lock.
    void Renew(int number);

private:
    int number_;
    std::atomic<std::uint32_t> references_{1};
    bool loaded_ = false;
    PacketScript data_;
};

}  // namespace simcom
