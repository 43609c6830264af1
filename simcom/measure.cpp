#include "simcom/measure.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <vector>

namespace simcom {
namespace {

constexpr NTSTATUS STATUS_LENGTH_MISMATCH = static_cast<NTSTATUS>(0xC0000004u);
constexpr ULONG EXTENDED_HANDLE_INFORMATION = 64;
constexpr ULONG HANDLE_INFORMATION = 16;

// NtQuerySystemInformation taking its class as a plain number: the headers'
// enumeration has no member for the extended handle list.
using QuerySystemInformation = NTSTATUS(NTAPI*)(ULONG what, PVOID buffer, ULONG bytes, PULONG needed);

QuerySystemInformation QueryFunction() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const FARPROC found = ntdll == nullptr ? nullptr : GetProcAddress(ntdll, "NtQuerySystemInformation");
    // Through void(*)(), the one cast between function types that is allowed.
    return reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void (*)()>(found));
}

// The layouts of the two system handle lists.
struct ExtendedHandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};
struct ExtendedHandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    ExtendedHandleEntry entries[1];
};
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR attributes;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

// The whole list of one class, grown until it fits.
std::optional<std::vector<std::uint64_t>> QueryHandleList(ULONG what) {
    const QuerySystemInformation query = QueryFunction();
    if (query == nullptr) {
        return std::nullopt;
    }
    std::vector<std::uint64_t> buffer(1 << 14);
    for (int attempt = 0; attempt < 12; ++attempt) {
        ULONG needed = 0;
        const auto bytes = static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t));
        const NTSTATUS status = query(what, buffer.data(), bytes, &needed);
        if (status == STATUS_LENGTH_MISMATCH) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed / sizeof(std::uint64_t) + 1024));
            continue;
        }
        if (status < 0) {
            return std::nullopt;
        }
        return buffer;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> CountOwnHandles() {
    const DWORD self = GetCurrentProcessId();
    if (const auto buffer = QueryHandleList(EXTENDED_HANDLE_INFORMATION)) {
        const auto* list = reinterpret_cast<const ExtendedHandleList*>(buffer->data());
        std::uint64_t count = 0;
        for (ULONG_PTR i = 0; i < list->count; ++i) {
            count += list->entries[i].processId == self ? 1 : 0;
        }
        return count;
    }
    if (const auto buffer = QueryHandleList(HANDLE_INFORMATION)) {
        const auto* list = reinterpret_cast<const HandleList*>(buffer->data());
        std::uint64_t count = 0;
        for (ULONG i = 0; i < list->count; ++i) {
            count += list->entries[i].processId == static_cast<USHORT>(self) ? 1 : 0;
        }
        return count;
    }
    return std::nullopt;
}

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

ProcessMeasures MeasureProcess() {
    ProcessMeasures measures;
    measures.handles = CountOwnHandles();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
        measures.privateKb = memory.PagefileUsage / 1024;
        measures.workingSetKb = memory.WorkingSetSize / 1024;
        measures.peakWorkingSetKb = memory.PeakWorkingSetSize / 1024;
    }
    FILETIME created{};
    FILETIME ended{};
    FILETIME kernel{};
    FILETIME user{};
    if (GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) {
        // FILETIME counts 100 ns.
        measures.cpuUs = (Ticks(kernel) + Ticks(user)) / 10;
        FILETIME now{};
        GetSystemTimePreciseAsFileTime(&now);
        measures.sinceStartMs = (Ticks(now) - Ticks(created)) / 10000;
    }
    return measures;
}

}  // namespace simcom
