// Windows paths as T-SQL names them ("C:\\Program Files\\…\\x.mdf") and the host
// folders that hold them: drive C and any <data-dir>/<letter> folder inside the
// data directory, further drives in host folders given with --drive.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace standin::engine {

// "C:\Program Files\x.mdf" → <dataDir>/C/Program Files/x.mdf. Throws
// std::invalid_argument for a path without a drive letter.
std::filesystem::path MapWindowsPath(const std::filesystem::path& dataDir,
                                     std::string_view windowsPath);

// True for a Windows device name (CON, NUL, COM1, LPT1 …, with any
// extension), which Windows never treats as a file.
bool IsDeviceName(std::string_view component);

// The drives of a data directory. Not synchronised: drives are added before
// the directory is used and only read afterwards.
class DriveMap {
 public:
  explicit DriveMap(std::filesystem::path root) : m_Root(std::move(root)) {}

  const std::filesystem::path& Root() const { return m_Root; }
  // A further fixed drive kept in a host folder outside the data directory.
  void AddDrive(char letter, const std::filesystem::path& folder);
  // MapWindowsPath with the further drives.
  std::filesystem::path Map(std::string_view windowsPath) const;
  // Every drive there is (folders that exist), by letter.
  std::vector<std::pair<char, std::filesystem::path>> Drives() const;
  // The host path of an existing file or folder named by a Windows path on a
  // mapped drive; nullopt for a relative path, a device name, an unmapped
  // drive or a missing file.
  std::optional<std::filesystem::path> MapExistingPath(std::string_view windowsPath) const;

 private:
  std::filesystem::path m_Root;
  std::map<char, std::filesystem::path> m_Drives;
};

}  // namespace standin::engine
