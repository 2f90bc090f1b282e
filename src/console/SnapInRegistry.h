// The snap-ins registered for the current user, as their libraries wrote
// them into the per-user hive.
#pragma once

#include <string>
#include <vector>

namespace bw::console {

struct SnapInRegistration {
  std::string classId;
  std::string path;
  std::string name;
};

// In the hive's order; an unreadable hive gives nothing and `error` says why.
std::vector<SnapInRegistration> RegisteredSnapIns(std::string& error);

}  // namespace bw::console
