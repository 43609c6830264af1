// Names of the program's named objects: an ASCII prefix followed by decimal
// integers, e.g. "SynCom2" or "TALVEK10".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

std::wstring IndexedName(const char* prefix, std::initializer_list<std::int32_t> parts);
