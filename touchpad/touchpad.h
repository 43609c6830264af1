// The touchpad component's objects as the program sees them, declared from
// their operation positions: 0-2 are the standard query, add-reference and
// release; every other position is listed so the tables line up, whether
// the program calls it or not.
#pragma once

#include <cstdint>

#include "platform/platform.h"

#if defined(_WIN32)
#define TOUCHPAD_CALL __stdcall
#else
#define TOUCHPAD_CALL
#endif

// The 32-bit status every touchpad and COM operation returns; 0 is success.
using TouchpadResult = std::int32_t;

inline constexpr TouchpadResult TOUCHPAD_OK = 0;
// The packet load's answer when the device has no packet left (E_FAIL).
inline constexpr TouchpadResult TOUCHPAD_NO_PACKET = static_cast<TouchpadResult>(0x80004005u);

// Packet properties, each a signed 32-bit value.
inline constexpr std::int32_t PROP_CONTACT_WORD = 0x10000315;
inline constexpr std::int32_t PROP_STATE = 0x10000312;
inline constexpr std::int32_t PROP_DELTA_X = 0x1000030C;  // positive to the right
inline constexpr std::int32_t PROP_DELTA_Y = 0x1000030D;  // positive upward

// The device-kind codes the device search tries, in this order.
inline constexpr std::int32_t DEVICE_KIND_CODES[] = {2, 5, 0};

inline constexpr wchar_t PACKET_PROG_ID[] = L"SynCom.SynPacket";
// {BF9D398B-F631-44B4-8EC0-D3FB3E388B62}
inline constexpr os::Guid IID_TOUCHPAD_PACKET = {
    0xBF9D398B, 0xF631, 0x44B4, {0x8E, 0xC0, 0xD3, 0xFB, 0x3E, 0x38, 0x8B, 0x62}};
// CLSCTX_SERVER: in-process, local or remote server.
inline constexpr std::uint32_t PACKET_CLASS_CONTEXT = 0x15;

// These are COM interfaces: no virtual destructor, the object frees itself in
// Release. The protected destructor keeps anyone from deleting one directly.
struct TouchpadObject {
    virtual TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid& iid, void** object) = 0;  // 0
    virtual std::uint32_t TOUCHPAD_CALL AddRef() = 0;                                              // 1
    virtual std::uint32_t TOUCHPAD_CALL Release() = 0;                                             // 2

protected:
    ~TouchpadObject() = default;
};

struct TouchpadPacket : TouchpadObject {
    virtual TouchpadResult TOUCHPAD_CALL GetProperty(std::int32_t property, std::int32_t* value) = 0;  // 3

protected:
    ~TouchpadPacket() = default;
};

struct TouchpadDevice : TouchpadObject {
    virtual TouchpadResult TOUCHPAD_CALL Unused3() = 0;                                 // 3
    virtual TouchpadResult TOUCHPAD_CALL Unused4() = 0;                                 // 4
    virtual TouchpadResult TOUCHPAD_CALL Unused5() = 0;                                 // 5
    virtual TouchpadResult TOUCHPAD_CALL Unused6() = 0;                                 // 6
    virtual TouchpadResult TOUCHPAD_CALL SetEventNotification(os::Handle event) = 0;    // 7
    virtual TouchpadResult TOUCHPAD_CALL Unused8() = 0;                                 // 8
    virtual TouchpadResult TOUCHPAD_CALL LoadPacket(TouchpadPacket* packet) = 0;        // 9

protected:
    ~TouchpadDevice() = default;
};

struct TouchpadApi : TouchpadObject {
    virtual TouchpadResult TOUCHPAD_CALL Unused3() = 0;  // 3
    // `reserved` is always 0; `handle` receives the device handle.
    virtual TouchpadResult TOUCHPAD_CALL FindDevice(std::int32_t reserved, std::int32_t deviceKind,
                                                    std::int32_t* handle) = 0;                        // 4
    virtual TouchpadResult TOUCHPAD_CALL OpenDevice(std::int32_t handle, TouchpadDevice** device) = 0;  // 5
    virtual TouchpadResult TOUCHPAD_CALL Unused6() = 0;                                                 // 6
    virtual TouchpadResult TOUCHPAD_CALL Unused7() = 0;                                                 // 7
    virtual TouchpadResult TOUCHPAD_CALL Unused8() = 0;                                                 // 8
    virtual TouchpadResult TOUCHPAD_CALL SetEventNotification(os::Handle event) = 0;                    // 9
    // Takes one pending notification; 0 while there was one to take.
    virtual TouchpadResult TOUCHPAD_CALL TakeNotification(std::int32_t* parameter) = 0;                 // 10

protected:
    ~TouchpadApi() = default;
};

// SynCreateAPI, the component's entry (ordinal 5), reached through the
// platform layer so that tests can stand in for it.
TouchpadResult CreateTouchpadApi(TouchpadApi** api);
