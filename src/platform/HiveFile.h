// File work behind RegistryHive: the folder, the lock file, reading a hive
// (moving a damaged one aside) and replacing it atomically. Private to this
// layer.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/HiveFormat.h"

namespace bw::hive_file {

// Creates `folder` and missing parents, owner-only (0700).
void EnsureFolder(const std::filesystem::path& folder);

// Opens (creating, 0600) the lock file and takes its exclusive lock, waiting
// for other processes. The lock ends when the descriptor is closed.
int LockExclusive(const std::filesystem::path& lockFile);
void Unlock(int fd);

// Reads the hive; a missing file is an empty hive. Must be called under the
// lock, so that a damaged file is moved aside only after the one process that
// holds the lock has seen it damaged.
std::unique_ptr<HiveKey> Load(const std::filesystem::path& hive);

// Replaces the hive with `root` through a temporary file in the same folder:
// written, flushed to disk, renamed over the hive, the folder flushed.
void Save(const std::filesystem::path& hive, const HiveKey& root);

void SetDamageNotice(std::string notice);
std::optional<std::string> TakeDamageNotice();

}  // namespace bw::hive_file
