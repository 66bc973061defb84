// What the About box tells about the machine: page size, the application address range,
// processor type and number of processors, read from the running system.
#pragma once

#include <cstdint>
#include <string>

namespace quelbro {

struct SystemInfo {
  long pageSize = 0;
  std::uintptr_t lowestAddress = 0;   // lowest address a program may map
  std::uintptr_t highestAddress = 0;  // last byte of the highest user mapping
  std::string processorType;
  long processors = 0;
};

SystemInfo readSystemInfo();

// The About box's lines, one fact per line.
std::string aboutText(const SystemInfo& info);

// The About box's first line, the program's name and version, and an empty line after it.
std::string aboutHeading(const std::string& program);

}  // namespace quelbro
