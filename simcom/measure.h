// What the `measure` statement reads about the process the component is
// loaded in. Wine 8 answers 0 to GetProcessHandleCount, so handles are
// counted in the system handle list. It answers 0 to PrivateUsage too, but
// fills PagefileUsage (a process's private commit on Windows) from the
// process's own RssAnon + VmSwap, so that stands for private memory. Not
// /proc/self/status through the Z: drive: wineserver opens files for its
// clients, so that "self" is wineserver.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

namespace simcom {

struct ProcessMeasures {
    std::optional<std::uint64_t> handles;
    std::optional<std::uint64_t> privateKb;  // PagefileUsage
    std::optional<std::uint64_t> workingSetKb;
    std::optional<std::uint64_t> peakWorkingSetKb;
    std::optional<std::uint64_t> cpuUs;          // user and kernel, all threads
    std::optional<std::uint64_t> sinceStartMs;   // since the process was created
};

ProcessMeasures MeasureProcess();

// A measure, or `?` when it could not be had.
struct Known {
    const std::optional<std::uint64_t>& value;
};
inline std::ostream& operator<<(std::ostream& out, Known known) {
    if (known.value) {
        return out << *known.value;
    }
    return out << '?';
}

}  // namespace simcom
