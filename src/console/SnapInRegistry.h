// The snap-ins registered for the current user, as their libraries wrote
// them into the per-user hive.
#pragma once

#include <filesystem>
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

// Whether a snap-in was ever registered for the current user: the key stays
// when the last one is unregistered. False with `error` set when the hive
// cannot be read.
bool SnapInEverRegistered(std::string& error);

// The snap-in library installed with the console, found from the console's
// own folder as the install lays them out (bin/ and lib/brindlewick/);
// empty when there is none there (a build tree, a copied binary).
std::string InstalledSnapIn(const std::filesystem::path& consoleFolder);
// Where the install puts the snap-in, relative to the console's folder.
std::filesystem::path InstalledSnapInRelativePath();

}  // namespace bw::console
