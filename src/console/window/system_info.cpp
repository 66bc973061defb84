// Reads the About box's facts from the kernel: sysconf, uname, /proc/sys/vm and /proc/self/maps.
#include "console/window/system_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "console/version.h"

namespace quelbro {

namespace {

std::uintptr_t lowestMappableAddress(long pageSize) {
  std::ifstream in("/proc/sys/vm/mmap_min_addr");
  unsigned long long v = 0;
  if (in >> v && v > 0) return static_cast<std::uintptr_t>(v);
  return static_cast<std::uintptr_t>(pageSize > 0 ? pageSize : 4096);
}

// The highest end of the process's own mappings (the stack sits at the top of user space);
// the kernel's fixed [vsyscall] page is not an application address.
std::uintptr_t highestUserAddress() {
  std::ifstream in("/proc/self/maps");
  std::string line;
  std::uintptr_t top = 0;
  for (int guard = 0; guard < 100000 && std::getline(in, line); ++guard) {
    if (line.find("[vsyscall]") != std::string::npos) continue;
    unsigned long long a = 0;
    unsigned long long b = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx", &a, &b) == 2 && b > top) top = static_cast<std::uintptr_t>(b);
  }
  return top > 0 ? top - 1 : 0;
}

std::string processorModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  for (int guard = 0; guard < 10000 && std::getline(in, line); ++guard) {
    if (line.rfind("model name", 0) == 0) {
      const auto colon = line.find(':');
      if (colon != std::string::npos) {
        std::string m = line.substr(colon + 1);
        const auto start = m.find_first_not_of(' ');
        return start == std::string::npos ? std::string() : m.substr(start);
      }
    }
  }
  return {};
}

}  // namespace

SystemInfo readSystemInfo() {
  SystemInfo info;
  info.pageSize = sysconf(_SC_PAGESIZE);
  info.lowestAddress = lowestMappableAddress(info.pageSize);
  info.highestAddress = highestUserAddress();
  struct utsname u;
  if (uname(&u) == 0) info.processorType = u.machine;
  const std::string model = processorModel();
  if (!model.empty()) {
    if (info.processorType.empty()) {
      info.processorType = model;
    } else {
      info.processorType.append(" (").append(model).append(")");
    }
  }
  if (info.processorType.empty()) info.processorType = "unknown";
  info.processors = sysconf(_SC_NPROCESSORS_ONLN);
  if (info.processors < 1) info.processors = 1;
  return info;
}

std::string aboutHeading(const std::string& program) { return program + " version " + kVersion + "\n\n"; }

std::string aboutText(const SystemInfo& info) {
  std::ostringstream out;
  char low[32];
  char high[32];
  std::snprintf(low, sizeof low, "0x%" PRIxPTR, info.lowestAddress);
  std::snprintf(high, sizeof high, "0x%" PRIxPTR, info.highestAddress);
  out << "Page size: " << info.pageSize << " bytes\n"
      << "Lowest application address: " << low << "\n"
      << "Highest application address: " << high << "\n"
      << "Processor type: " << info.processorType << "\n"
      << "Number of processors: " << info.processors;
  return out.str();
}

}  // namespace quelbro
