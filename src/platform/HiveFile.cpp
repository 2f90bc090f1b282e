#include "HiveFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>

#include "platform/RegistryHive.h"
#include "support/Error.h"

namespace bw::hive_file {

namespace {

[[noreturn]] void ThrowIo(const std::string& what, const std::filesystem::path& path, int errnum) {
  long code = errnum == EACCES || errnum == EPERM || errnum == EROFS ? kErrorAccessDenied
                                                                     : kErrorRegistryIoFailed;
  throw Error(HiveErrorNumber(code), kHiveErrorSource,
              what + " " + path.string() + ": " + std::strerror(errnum));
}

// Closes on every path out, so a failed write leaks no descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_Fd(fd) {}
  ~FileDescriptor() {
    if (m_Fd >= 0) ::close(m_Fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_Fd; }
  int Release() { return std::exchange(m_Fd, -1); }

 private:
  int m_Fd;
};

// A missing hive reads as zero bytes: an empty hive.
std::string ReadAll(const std::filesystem::path& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return {};
    ThrowIo("Could not open the registry hive", path, errno);
  }
  std::string text;
  char buffer[65536];
  while (true) {
    ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ThrowIo("Could not read the registry hive", path, errno);
    if (got == 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

std::filesystem::path DamagedName(const std::filesystem::path& hive) {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  std::filesystem::path base = hive;
  base += std::string(".damaged-") + stamp;
  // A second damaged file within the same second must not replace the first.
  std::filesystem::path candidate = base;
  for (int n = 2; std::filesystem::exists(candidate); ++n) {
    candidate = base;
    candidate += "-" + std::to_string(n);
  }
  return candidate;
}

void SyncFolder(const std::filesystem::path& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Without this the rename may not survive a power failure; the data itself
  // is already safe, so a folder that cannot be flushed is not an error.
  if (fd.Get() >= 0) ::fsync(fd.Get());
}

std::mutex& NoticeMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<std::string>& Notice() {
  static std::optional<std::string> notice;
  return notice;
}

}  // namespace

void EnsureFolder(const std::filesystem::path& folder) {
  if (folder.empty() || ::access(folder.c_str(), F_OK) == 0) return;
  EnsureFolder(folder.parent_path());
  if (::mkdir(folder.c_str(), 0700) != 0) {
    if (errno == EEXIST) return;
    ThrowIo("Could not create the folder of the registry hive", folder, errno);
  }
  // mkdir honours the umask; the folder holds passwords, so make sure of 0700.
  ::chmod(folder.c_str(), 0700);
}

int LockExclusive(const std::filesystem::path& lockFile) {
  FileDescriptor fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (fd.Get() < 0) ThrowIo("Could not open the lock file of the registry hive", lockFile, errno);
  while (::flock(fd.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) ThrowIo("Could not lock the registry hive", lockFile, errno);
  }
  return fd.Release();
}

void Unlock(int fd) {
  if (fd >= 0) ::close(fd);
}

std::unique_ptr<HiveKey> Load(const std::filesystem::path& hive) {
  std::string text = ReadAll(hive);
  try {
    return ParseHive(text);
  } catch (const HiveParseError& e) {
    if (e.NewerVersion()) {
      throw Error(HiveErrorNumber(kErrorBadDb), kHiveErrorSource,
                  "The registry hive " + hive.string() +
                      " was written by a newer version of this program (" + e.what() +
                      ") and cannot be read; it has been left as it is.");
    }
    std::filesystem::path aside = DamagedName(hive);
    if (::rename(hive.c_str(), aside.c_str()) != 0) {
      ThrowIo(std::string("The registry hive is damaged (") + e.what() +
                  ") and could not be moved aside:",
              hive, errno);
    }
    std::string notice = "The registry hive " + hive.string() + " was damaged (" + e.what() +
                         ") and has been moved to " + aside.string() +
                         ". The server registrations and settings start empty; the old file "
                         "can be repaired by hand and moved back.";
    SetDamageNotice(notice);
    throw Error(HiveErrorNumber(kErrorRegistryCorrupt), kHiveErrorSource, notice);
  }
}

void Save(const std::filesystem::path& hive, const HiveKey& root) {
  std::string text = SerializeHive(root);
  std::filesystem::path temporary = hive;
  temporary += ".tmp";
  // Only the lock holder writes, so one fixed temporary name is enough; a
  // leftover from a killed process is simply truncated.
  FileDescriptor fd(
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.Get() < 0) ThrowIo("Could not write the registry hive", temporary, errno);
  auto fail = [&](int errnum) {
    ::unlink(temporary.c_str());
    ThrowIo("Could not write the registry hive", temporary, errnum);
  };
  if (::fchmod(fd.Get(), 0600) != 0) fail(errno);
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t put = ::write(fd.Get(), text.data() + written, text.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) fail(errno);
    written += static_cast<std::size_t>(put);
  }
  if (::fsync(fd.Get()) != 0) fail(errno);
  if (::close(fd.Release()) != 0) fail(errno);
  if (::rename(temporary.c_str(), hive.c_str()) != 0) fail(errno);
  SyncFolder(hive.parent_path());
}

void SetDamageNotice(std::string notice) {
  std::lock_guard lock(NoticeMutex());
  Notice() = std::move(notice);
}

std::optional<std::string> TakeDamageNotice() {
  std::lock_guard lock(NoticeMutex());
  return std::exchange(Notice(), std::nullopt);
}

}  // namespace bw::hive_file
