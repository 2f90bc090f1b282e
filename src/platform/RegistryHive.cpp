#include "platform/RegistryHive.h"

#include <pwd.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "HiveFile.h"

namespace bw {

namespace {

// The lock and the tree of one hive while this process holds it. The tree is
// read once when the lock is taken; nobody else can change the file then.
struct Session {
  std::filesystem::path path;
  int lockFd = -1;
  int depth = 0;
  std::unique_ptr<HiveKey> root;
  std::thread::id owner;
  // A child forked inside a transaction inherits the session but not the
  // right to it: it must take the lock itself, like any other process.
  pid_t pid = 0;
};

std::mutex& SessionsMutex() {
  static std::mutex mutex;
  return mutex;
}

std::condition_variable& SessionEnded() {
  static std::condition_variable ended;
  return ended;
}

std::map<std::string, Session>& Sessions() {
  static std::map<std::string, Session> sessions;
  return sessions;
}

// Every name of one hive must lead to one session: a second flock by this
// process would wait for the first forever. The key is also the path the
// session works on, so a later change of directory changes nothing.
std::string SessionKeyOf(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
  if (error) resolved = std::filesystem::absolute(path).lexically_normal();
  return resolved.string();
}

Session& CurrentSession(const RegistryHive& hive) {
  std::lock_guard lock(SessionsMutex());
  return Sessions().at(SessionKeyOf(hive.Path()));
}

HiveKey& Root(Session& session) {
  if (!session.root) session.root = hive_file::Load(session.path);
  return *session.root;
}

void Save(Session& session) {
  try {
    hive_file::Save(session.path, *session.root);
  } catch (...) {
    // The tree now holds a change the file lacks; read the file again next time.
    session.root.reset();
    throw;
  }
}

// Runs `action` on the hive's tree under the lock (joining a transaction of
// this process when there is one).
template <typename Action>
auto WithSession(const RegistryHive& hive, Action action) {
  RegistryHive::Transaction transaction(hive);
  return action(CurrentSession(hive));
}

}  // namespace

long HiveErrorCode(const Error& error) {
  auto number = static_cast<std::uint32_t>(error.Number());
  return (number & 0xFFFF0000u) == 0x80070000u ? static_cast<long>(number & 0xFFFFu)
                                               : static_cast<long>(error.Number());
}

std::filesystem::path RegistryHive::DefaultPath() {
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* entry = ::getpwuid(::getuid());
      home = entry != nullptr ? entry->pw_dir : "/";
    }
    config = std::filesystem::path(home) / ".config";
  }
  return config / "brindlewick" / "registry.hive";
}

RegistryHive::RegistryHive(std::filesystem::path path) : m_Path(std::move(path)) {}

RegistryHive::Transaction::Transaction(const RegistryHive& hive)
    : m_SessionKey(SessionKeyOf(hive.Path())) {
  std::unique_lock lock(SessionsMutex());
  while (true) {
    auto found = Sessions().find(m_SessionKey);
    if (found == Sessions().end()) break;
    Session& session = found->second;
    if (session.pid != ::getpid()) {
      // Closing the inherited descriptor leaves the parent's lock in place.
      hive_file::Unlock(session.lockFd);
      Sessions().erase(found);
      break;
    }
    if (session.owner == std::this_thread::get_id()) {
      ++session.depth;
      return;
    }
    SessionEnded().wait(lock);
  }
  Session& session = Sessions()[m_SessionKey];
  session.path = m_SessionKey;
  session.depth = 1;
  session.owner = std::this_thread::get_id();
  session.pid = ::getpid();
  // Waiting for another process must not hold up other hives of this one.
  lock.unlock();
  try {
    hive_file::EnsureFolder(session.path.parent_path());
    std::filesystem::path lockFile = session.path;
    lockFile += ".lock";
    session.lockFd = hive_file::LockExclusive(lockFile);
    Root(session);
  } catch (...) {
    lock.lock();
    hive_file::Unlock(session.lockFd);
    Sessions().erase(m_SessionKey);
    SessionEnded().notify_all();
    throw;
  }
}

RegistryHive::Transaction::~Transaction() {
  std::lock_guard lock(SessionsMutex());
  auto found = Sessions().find(m_SessionKey);
  if (found == Sessions().end() || --found->second.depth > 0) return;
  hive_file::Unlock(found->second.lockFd);
  Sessions().erase(found);
  SessionEnded().notify_all();
}

bool RegistryHive::KeyExists(std::string_view key) const {
  auto names = SplitKeyPath(key);
  if (!names) return false;
  return WithSession(*this, [&](Session& s) { return Root(s).Find(*names) != nullptr; });
}

long RegistryHive::CreateKey(std::string_view key) const {
  auto names = SplitKeyPath(key);
  if (!names) return kErrorInvalidParameter;
  return WithSession(*this, [&](Session& s) {
    if (Root(s).Find(*names) != nullptr) return kErrorSuccess;
    Root(s).Create(*names);
    Save(s);
    return kErrorSuccess;
  });
}

long RegistryHive::DeleteKey(std::string_view key) const {
  auto names = SplitKeyPath(key);
  // The root cannot be deleted.
  if (!names || names->empty()) return kErrorInvalidParameter;
  std::string leaf = names->back();
  names->pop_back();
  return WithSession(*this, [&](Session& s) {
    HiveKey* parent = Root(s).Find(*names);
    if (parent == nullptr) return kErrorFileNotFound;
    auto found = parent->subKeys.find(leaf);
    if (found == parent->subKeys.end()) return kErrorFileNotFound;
    if (!found->second->subKeys.empty()) return kErrorKeyHasChildren;
    parent->subKeys.erase(found);
    Save(s);
    return kErrorSuccess;
  });
}

std::optional<std::vector<std::string>> RegistryHive::EnumerateSubKeys(std::string_view key) const {
  auto names = SplitKeyPath(key);
  if (!names) return std::nullopt;
  return WithSession(*this, [&](Session& s) -> std::optional<std::vector<std::string>> {
    HiveKey* found = Root(s).Find(*names);
    if (found == nullptr) return std::nullopt;
    std::vector<std::string> subKeys;
    for (const auto& entry : found->subKeys) subKeys.push_back(entry.first);
    return subKeys;
  });
}

std::optional<RegistryValue> RegistryHive::QueryValue(std::string_view key,
                                                      std::string_view name) const {
  auto names = SplitKeyPath(key);
  if (!names) return std::nullopt;
  return WithSession(*this, [&](Session& s) -> std::optional<RegistryValue> {
    HiveKey* found = Root(s).Find(*names);
    const RegistryValue* value = found != nullptr ? found->FindValue(name) : nullptr;
    if (value == nullptr) return std::nullopt;
    return *value;
  });
}

long RegistryHive::SetValue(std::string_view key, std::string_view name,
                            const RegistryValue& value) const {
  auto names = SplitKeyPath(key);
  if (!names) return kErrorInvalidParameter;
  return WithSession(*this, [&](Session& s) {
    Root(s).Create(*names).SetValue(name, value);
    Save(s);
    return kErrorSuccess;
  });
}

long RegistryHive::DeleteValue(std::string_view key, std::string_view name) const {
  auto names = SplitKeyPath(key);
  if (!names) return kErrorFileNotFound;
  return WithSession(*this, [&](Session& s) {
    HiveKey* found = Root(s).Find(*names);
    if (found == nullptr || !found->DeleteValue(name)) return kErrorFileNotFound;
    Save(s);
    return kErrorSuccess;
  });
}

std::optional<std::string> RegistryHive::TakeDamageNotice() {
  return hive_file::TakeDamageNotice();
}

}  // namespace bw
