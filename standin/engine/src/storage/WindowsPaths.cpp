// Windows paths onto the data directory's drive folders.
#include "storage/WindowsPaths.h"

#include <cctype>
#include <stdexcept>
#include <string>

namespace standin::engine {

std::filesystem::path MapWindowsPath(const std::filesystem::path& dataDir,
                                     std::string_view windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != ':' ||
      !std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
    throw std::invalid_argument("not an absolute Windows path: " + std::string(windowsPath));
  }
  // Windows resolves "." and ".." lexically and never climbs above the drive
  // root, so C:\a\..\..\b is C:\b — and nothing outside the data
  // directory is ever named.
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char c : windowsPath.substr(2)) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      part += c;
    }
  }
  flush();
  std::filesystem::path out =
      dataDir /
      std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0]))));
  for (const std::string& name : parts) out /= name;
  return out;
}

bool IsDeviceName(std::string_view component) {
  std::string base(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

void DriveMap::AddDrive(char letter, const std::filesystem::path& folder) {
  m_Drives[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = folder;
}

std::filesystem::path DriveMap::Map(std::string_view windowsPath) const {
  std::filesystem::path mapped = MapWindowsPath(m_Root, windowsPath);
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
  auto drive = m_Drives.find(letter);
  if (drive == m_Drives.end()) return mapped;
  return drive->second / mapped.lexically_relative(m_Root / std::string(1, letter));
}

std::vector<std::pair<char, std::filesystem::path>> DriveMap::Drives() const {
  std::vector<std::pair<char, std::filesystem::path>> drives;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::error_code error;
    if (auto drive = m_Drives.find(letter); drive != m_Drives.end()) {
      if (std::filesystem::is_directory(drive->second, error))
        drives.emplace_back(letter, drive->second);
      continue;
    }
    const std::filesystem::path folder = m_Root / std::string(1, letter);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(folder, error)))
      drives.emplace_back(letter, folder);
  }
  return drives;
}

std::optional<std::filesystem::path> DriveMap::MapExistingPath(std::string_view windowsPath) const {
  std::filesystem::path mapped;
  try {
    for (const auto& component : MapWindowsPath(m_Root, windowsPath).lexically_relative(m_Root)) {
      if (IsDeviceName(component.string())) return std::nullopt;
    }
    mapped = Map(windowsPath);
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
  bool onADrive = false;
  for (const auto& drive : Drives()) onADrive = onADrive || drive.first == letter;
  std::error_code error;
  if (!onADrive || !std::filesystem::exists(std::filesystem::symlink_status(mapped, error)))
    return std::nullopt;
  return mapped;
}

}  // namespace standin::engine
