#include "simcom/packet.h"

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <string>

#include "simcom/log.h"
#include "simcom/owners.h"
#include "simcom/sim_state.h"

namespace simcom {
namespace {

// {6D1F4A27-8C3B-4E59-A0D2-7B94E1C3F856}, the class the ProgID names.
constexpr GUID PACKET_CLSID = {0x6D1F4A27, 0x8C3B, 0x4E59, {0xA0, 0xD2, 0x7B, 0x94, 0xE1, 0xC3, 0xF8, 0x56}};
constexpr wchar_t PACKET_CLSID_TEXT[] = L"{6D1F4A27-8C3B-4E59-A0D2-7B94E1C3F856}";

constexpr GUID UNKNOWN_IID = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID CLASS_FACTORY_IID = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

static_assert(sizeof(os::Guid) == sizeof(GUID));

bool SameGuid(const void* left, const GUID& right) { return std::memcmp(left, &right, sizeof(GUID)) == 0; }

bool IsPacketInterface(const void* iid) {
    return SameGuid(iid, UNKNOWN_IID) || std::memcmp(iid, &IID_TOUCHPAD_PACKET, sizeof(GUID)) == 0;
}

std::string GuidText(const void* guid) {
    GUID copy;
    std::memcpy(&copy, guid, sizeof(copy));
    wchar_t text[40] = {};
    StringFromGUID2(copy, text, static_cast<int>(std::size(text)));
    return Narrow(text);
}

const char* PropertyName(std::int32_t property) {
    switch (property) {
        case PROP_CONTACT_WORD:
            return "word";
        case PROP_STATE:
            return "state";
        case PROP_DELTA_X:
            return "dx";
        case PROP_DELTA_Y:
            return "dy";
        default:
            return "?";
    }
}

// IClassFactory's operation table, declared here with a protected destructor
// so that nobody can delete a factory through it.
struct ClassFactoryTable {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

protected:
    ~ClassFactoryTable() = default;
};

// The factory lives as long as the process; its count only feeds
// DllCanUnloadNow, which never lets the module go anyway.
class PacketFactory final : public ClassFactoryTable {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (SameGuid(&iid, UNKNOWN_IID) || SameGuid(&iid, CLASS_FACTORY_IID)) {
            *object = static_cast<ClassFactoryTable*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            LogLine("error packet asked for with an outer object");
            return CLASS_E_NOAGGREGATION;
        }
        if (!IsPacketInterface(&iid)) {
            LogLine("error packet asked for with interface ", GuidText(&iid));
            return E_NOINTERFACE;
        }
        SimState& sim = Sim();
        const std::string apartment = ApartmentOfThisThread();
        const DWORD thread = GetCurrentThreadId();
        const std::lock_guard<std::mutex> lock(sim.mutex);
        // Never freed: see SimState::packets.
        const int number = ++sim.packetsMade;
        SimPacket* packet = nullptr;
        if (sim.quarantine.size() > SimState::QUARANTINE_SIZE) {
            packet = sim.quarantine.front();
            sim.quarantine.pop_front();
            packet->Renew(number);
        } else {
            packet = new SimPacket(number);
            sim.packets.emplace(static_cast<const void*>(static_cast<TouchpadPacket*>(packet)), packet);
        }
        ++sim.packetsAlive;
        if (!sim.quiet) {
            LogLine("packet ", packet->Number(), " created thread=", thread,
                    " main=", thread == sim.mainThread ? 1 : 0, " com=", apartment, " alive=", sim.packetsAlive);
        }
        *object = static_cast<TouchpadPacket*>(packet);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    std::atomic<ULONG> references_{1};
};

PacketFactory& Factory() {
    // Never destroyed: COM may hold it until the process ends.
    static PacketFactory* factory = new PacketFactory;
    return *factory;
}

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS CreateKey(HKEY root, const std::wstring& path, RegistryKey& key) {
    return RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr);
}

const std::wstring PROG_ID_KEY = std::wstring(L"Software\\Classes\\") + PACKET_PROG_ID;
const std::wstring CLSID_KEY = std::wstring(L"Software\\Classes\\CLSID\\") + PACKET_CLSID_TEXT;

void RemoveRegistration(HKEY root) {
    RegDeleteTreeW(root, PROG_ID_KEY.c_str());
    RegDeleteKeyW(root, PROG_ID_KEY.c_str());
    RegDeleteTreeW(root, CLSID_KEY.c_str());
    RegDeleteKeyW(root, CLSID_KEY.c_str());
}

}  // namespace

TouchpadResult TOUCHPAD_CALL SimPacket::QueryInterface(const os::Guid& iid, void** object) {
    if (object == nullptr) {
        return static_cast<TouchpadResult>(E_POINTER);
    }
    if (IsPacketInterface(&iid)) {
        *object = static_cast<TouchpadPacket*>(this);
        AddRef();
        return TOUCHPAD_OK;
    }
    *object = nullptr;
    return static_cast<TouchpadResult>(E_NOINTERFACE);
}

std::uint32_t TOUCHPAD_CALL SimPacket::AddRef() {
    std::uint32_t count = references_.load();
    do {
        if (count == 0) {
            LogLine("error packet ", number_, " addref after release");
            return 0;
        }
    } while (!references_.compare_exchange_weak(count, count + 1));
    return count + 1;
}

std::uint32_t TOUCHPAD_CALL SimPacket::Release() {
    std::uint32_t count = references_.load();
    do {
        if (count == 0) {
            LogLine("error packet ", number_, " released again");
            return 0;
        }
    } while (!references_.compare_exchange_weak(count, count - 1));
    if (count == 1) {
        SimState& sim = Sim();
        bool awaited = false;
        {
            const std::lock_guard<std::mutex> lock(sim.mutex);
            --sim.packetsAlive;
            sim.quarantine.push_back(this);
            if (!sim.quiet) {
                LogLine("packet ", number_, " released alive=", sim.packetsAlive);
            }
            awaited = sim.awaitingRelease;
        }
        if (awaited) {
            sim.changed.notify_all();
        }
    }
    return count - 1;
}

TouchpadResult TOUCHPAD_CALL SimPacket::GetProperty(std::int32_t property, std::int32_t* value) {
    SimState& sim = Sim();
    const std::lock_guard<std::mutex> lock(sim.mutex);
    if (Released()) {
        LogLine("error read ", number_, ' ', HexOf(property), " after release");
    }
    if (value == nullptr) {
        LogLine("error read ", number_, ' ', HexOf(property), " into null");
        return static_cast<TouchpadResult>(E_POINTER);
    }
    if (!loaded_) {
        if (!sim.quiet) {
            LogLine("read ", number_, ' ', HexOf(property), " fail ", HexOf(RESULT_E_FAIL), " unloaded");
        }
        return RESULT_E_FAIL;
    }
    for (const PropertyFailure& failure : data_.failures) {
        if (failure.property == property) {
            if (!sim.quiet) {
                LogLine("read ", number_, ' ', HexOf(property), " fail ", HexOf(failure.code), ' ',
                        PropertyName(property));
            }
            return failure.code;
        }
    }
    std::int32_t answer = 0;
    switch (property) {
        case PROP_CONTACT_WORD:
            answer = data_.word;
            break;
        case PROP_STATE:
            answer = data_.state;
            break;
        case PROP_DELTA_X:
            answer = data_.dx;
            break;
        case PROP_DELTA_Y:
            answer = data_.dy;
            break;
        default:
            if (!sim.quiet) {
                LogLine("read ", number_, ' ', HexOf(property), " fail ",
                        HexOf(static_cast<std::int32_t>(E_INVALIDARG)), " unknown");
            }
            return static_cast<TouchpadResult>(E_INVALIDARG);
    }
    *value = answer;
    if (!sim.quiet) {
        LogLine("read ", number_, ' ', HexOf(property), " ok ", answer, ' ', PropertyName(property));
    }
    return TOUCHPAD_OK;
}

void SimPacket::Load(const PacketScript& data) {
    data_ = data;
    loaded_ = true;
}

void SimPacket::Renew(int number) {
    number_ = number;
    references_.store(1);
    loaded_ = false;
    data_ = PacketScript{};
}

void RegisterPacketClass(bool present) {
    // A stale per-user entry would shadow the machine-wide one.
    RemoveRegistration(HKEY_CURRENT_USER);
    RemoveRegistration(HKEY_LOCAL_MACHINE);
    if (!present) {
        LogLine("class absent");
        return;
    }
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(Sim().module, path, static_cast<DWORD>(std::size(path)));
    const std::wstring server(path, length);

    RegistryKey progId;
    RegistryKey progIdClass;
    RegistryKey server32;
    LSTATUS status = CreateKey(HKEY_LOCAL_MACHINE, PROG_ID_KEY, progId);
    if (status == ERROR_SUCCESS) {
        status = SetString(progId.Get(), nullptr, L"Simulated touchpad packet");
    }
    if (status == ERROR_SUCCESS) {
        status = CreateKey(HKEY_LOCAL_MACHINE, PROG_ID_KEY + L"\\CLSID", progIdClass);
    }
    if (status == ERROR_SUCCESS) {
        status = SetString(progIdClass.Get(), nullptr, PACKET_CLSID_TEXT);
    }
    if (status == ERROR_SUCCESS) {
        status = CreateKey(HKEY_LOCAL_MACHINE, CLSID_KEY + L"\\InprocServer32", server32);
    }
    if (status == ERROR_SUCCESS) {
        status = SetString(server32.Get(), nullptr, server);
    }
    if (status == ERROR_SUCCESS) {
        // "Both": created straight in the caller's apartment, whichever it is.
        status = SetString(server32.Get(), L"ThreadingModel", L"Both");
    }
    if (status != ERROR_SUCCESS) {
        LogLine("error class registration failed status=", status);
        return;
    }
    LogLine("class registered clsid=", Narrow(PACKET_CLSID_TEXT), " server=", Narrow(server));
}

std::string ApartmentOfThisThread() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    const HRESULT result = CoGetApartmentType(&type, &qualifier);
    if (result == CO_E_NOTINITIALIZED) {
        return "none";
    }
    if (FAILED(result)) {
        return "unknown";
    }
    if (qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA) {
        return "implicit-MTA";
    }
    switch (type) {
        case APTTYPE_STA:
            return "STA";
        case APTTYPE_MAINSTA:
            return "MAINSTA";
        case APTTYPE_MTA:
            return "MTA";
        case APTTYPE_NA:
            return "NA";
        case APTTYPE_CURRENT:
            break;
    }
    return "unknown";
}

}  // namespace simcom

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    using namespace simcom;
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!SameGuid(&clsid, PACKET_CLSID)) {
        LogLine("error class object asked for ", GuidText(&clsid));
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return Factory().QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    // The program imports SynCreateAPI at load time, so the module stays.
    return S_FALSE;
}
