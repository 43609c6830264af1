#include "platform/indexed_name.h"

#include <locale>
#include <sstream>

std::wstring IndexedName(const char* prefix, std::initializer_list<std::int32_t> parts) {
    std::wostringstream name;
    // The classic locale: no digit grouping whatever the process's locale is.
    name.imbue(std::locale::classic());
    // Narrow insertion widens each ASCII byte to the code unit of the same value.
    name << prefix;
    for (std::int32_t part : parts) {
        name << part;
    }
    return name.str();
}
