#include "process/memory_limit.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>

namespace tintara {

namespace {

constexpr uint64_t kUnlimited = UINT64_MAX;

uint64_t physicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kUnlimited;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

uint64_t resourceLimit(int resource) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnlimited;
  return static_cast<uint64_t>(limit.rlim_cur);
}

// A limit file holds a byte count, or "max" (v2) for none.
uint64_t readLimitFile(const std::string& path) {
  std::ifstream file(path);
  std::string value;
  if (!(file >> value) || value.empty() ||
      !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return kUnlimited;
  }
  try {
    return std::stoull(value);
  } catch (...) {
    return kUnlimited;
  }
}

// The tightest limit in `fileName` from the group at `path` (below `mount`)
// up to the root, since a limit on any ancestor applies as well.
uint64_t groupLimit(const std::string& mount, std::string path, const char* fileName) {
  uint64_t tightest = kUnlimited;
  for (;;) {
    tightest = std::min(tightest, readLimitFile(mount + path + "/" + fileName));
    const std::size_t slash = path.rfind('/');
    if (path.empty() || slash == std::string::npos) break;
    path.erase(slash);
  }
  return tightest;
}

uint64_t controlGroupLimit() {
  std::ifstream self("/proc/self/cgroup");
  uint64_t tightest = kUnlimited;
  std::string line;
  while (std::getline(self, line)) {
    // Lines read "id:controllers:path"; v2 has id 0 and no controllers.
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::string path = line.substr(second + 1);
    if (path == "/") path.clear();
    if (controllers.empty()) {
      tightest = std::min(tightest, groupLimit("/sys/fs/cgroup", path, "memory.max"));
    } else if (controllers == "memory") {
      tightest =
          std::min(tightest, groupLimit("/sys/fs/cgroup/memory", path, "memory.limit_in_bytes"));
    }
  }
  return tightest;
}

// What the process holds against the address-space and data-segment
// limits, in bytes: VmSize and VmData of /proc/self/status. Zero for a
// figure that cannot be read (no /proc): the limit alone is then compared.
struct HeldAddressSpace {
  uint64_t size = 0;
  uint64_t data = 0;
};

HeldAddressSpace heldAddressSpace() {
  HeldAddressSpace held;
  std::ifstream status("/proc/self/status");
  std::string key;
  uint64_t kib = 0;
  for (std::string line; std::getline(status, line);) {
    std::istringstream fields(line);
    if (!(fields >> key >> kib)) continue;
    if (key == "VmSize:") held.size = kib * 1024;
    if (key == "VmData:") held.data = kib * 1024;
  }
  return held;
}

uint64_t roomUnder(uint64_t limit, uint64_t held) {
  if (limit == kUnlimited) return kUnlimited;
  return limit > held ? limit - held : 0;
}

bool addressSpaceLimited() {
  return resourceLimit(RLIMIT_AS) != kUnlimited || resourceLimit(RLIMIT_DATA) != kUnlimited;
}

}  // namespace

UsableMemory usableMemory() {
  UsableMemory usable;
  if (addressSpaceLimited()) {
    const HeldAddressSpace held = heldAddressSpace();
    usable.addressSpace = std::min(roomUnder(resourceLimit(RLIMIT_AS), held.size),
                                   roomUnder(resourceLimit(RLIMIT_DATA), held.data));
  }
  usable.resident = std::min(physicalMemory(), controlGroupLimit());
  return usable;
}

uint64_t usableMemoryBytes() {
  const UsableMemory usable = usableMemory();
  return std::min(usable.addressSpace, usable.resident);
}

void shareMallocArenaUnderAddressLimit() {
  if (addressSpaceLimited()) mallopt(M_ARENA_MAX, 1);
}

namespace {

// "2.5 GiB", or "37.2 MiB" below a GiB, where a GiB figure would read 0.0.
std::string memorySize(double bytes) {
  constexpr double kMiB = 1024.0 * 1024.0;
  constexpr double kGiB = 1024.0 * kMiB;
  std::ostringstream out;
  out << std::fixed << std::setprecision(1);
  if (bytes < kGiB) {
    out << bytes / kMiB << " MiB";
  } else {
    out << bytes / kGiB << " GiB";
  }
  return out.str();
}

}  // namespace

std::string memoryRefusal(double neededBytes, const std::string& what, uint64_t usableBytes) {
  return "Not enough memory for this run: about " + memorySize(neededBytes) + " needed for " +
         what + ", " + memorySize(static_cast<double>(usableBytes)) + " usable";
}

}  // namespace tintara
