#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "simcom/log.h"
#include "simcom/sim_state.h"

namespace simcom {
namespace {

std::string QueryString(HANDLE handle, OBJECT_INFORMATION_CLASS what) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return "?";
    }
    // Both answers start with a UNICODE_STRING pointing into the buffer.
    std::vector<std::uint64_t> buffer(512);
    ULONG length = 0;
    const NTSTATUS status = NtQueryObject(handle, what, buffer.data(),
                                          static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t)), &length);
    if (status < 0) {
        return "?";
    }
    UNICODE_STRING text;
    std::memcpy(&text, buffer.data(), sizeof(text));
    if (text.Buffer == nullptr || text.Length == 0) {
        return "";
    }
    std::wstring value(text.Buffer, text.Length / sizeof(wchar_t));
    return Narrow(value);
}

}  // namespace

std::string ObjectNameOf(HANDLE handle) {
    const std::string full = QueryString(handle, ObjectNameInformation);
    const std::size_t slash = full.rfind('\\');
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

std::string ObjectTypeOf(HANDLE handle) { return QueryString(handle, ObjectTypeInformation); }

}  // namespace simcom
