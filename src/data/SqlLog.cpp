#include "data/SqlLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "support/Error.h"
#include "support/Settings.h"

namespace bw {
namespace {

struct LogState {
  std::mutex mutex;
  std::map<int, SqlLog::Subscriber> subscribers;
  int nextId = 1;
  std::deque<SqlLogEntry> recent;
  std::FILE* file = nullptr;
  bool recentKept = false;
  std::uint64_t sequence = 0;
};

LogState& State() {
  static LogState state;
  return state;
}

// A header value: bare when it is one plain word, else in double quotes with
// quotes and backslashes escaped and control characters shown as \xNN, so
// one entry's header is always one line.
std::string HeaderValue(const std::string& value) {
  bool plain = !value.empty();
  for (unsigned char c : value) {
    if (c <= ' ' || c == '"' || c == '\\' || c == '=' || c == 0x7f) plain = false;
  }
  if (plain) return value;
  std::string out = "\"";
  for (unsigned char c : value) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < ' ' || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string UtcTime(std::chrono::system_clock::time_point time) {
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(milliseconds % 1000));
  return text;
}

}  // namespace

int SqlLog::Subscribe(Subscriber subscriber) {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  const int id = state.nextId++;
  state.subscribers.emplace(id, std::move(subscriber));
  return id;
}

void SqlLog::Unsubscribe(int id) {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.subscribers.erase(id);
}

std::vector<SqlLogEntry> SqlLog::Recent() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  return {state.recent.begin(), state.recent.end()};
}

void SqlLog::KeepRecent(bool keep) {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.recentKept = keep;
  if (!keep) state.recent.clear();
}

void SqlLog::OpenFile(const std::string& path) {
  std::FILE* file = nullptr;
  if (!path.empty()) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (descriptor >= 0) file = ::fdopen(descriptor, "a");
    if (file == nullptr) {
      const std::string reason = std::strerror(errno);
      if (descriptor >= 0) ::close(descriptor);
      throw Error(kErrBadSetting, "SQL log",
                  "The SQL log " + path + " cannot be written: " + reason);
    }
  }
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.file != nullptr) std::fclose(state.file);
  state.file = file;
}

void SqlLog::OpenFileFromSettings() {
  const std::string path = Settings::Get(kSettingSqlLog);
  if (!path.empty()) OpenFile(path);
}

bool SqlLog::Active() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  return state.file != nullptr || state.recentKept || !state.subscribers.empty();
}

void SqlLog::Record(const SqlLogEntry& entry) {
  LogState& state = State();
  std::vector<Subscriber> subscribers;
  SqlLogEntry numbered = entry;
  {
    std::lock_guard lock(state.mutex);
    numbered.sequence = ++state.sequence;
    if (state.file != nullptr) {
      const std::string text = FormatSqlLogEntry(numbered);
      // Flushed per entry: the log must show what was sent even when the
      // program is killed right after.
      std::fwrite(text.data(), 1, text.size(), state.file);
      std::fflush(state.file);
    }
    if (state.recentKept) {
      state.recent.push_back(numbered);
      if (state.recent.size() > kRecentLimit) state.recent.pop_front();
    }
    for (const auto& [id, subscriber] : state.subscribers) subscribers.push_back(subscriber);
  }
  for (const Subscriber& subscriber : subscribers) subscriber(numbered);
}

std::string SqlLogOutcome(const SqlLogEntry& entry) {
  if (!entry.failed)
    return entry.rowsAffected >= 0 ? "rows=" + std::to_string(entry.rowsAffected) : "ok";
  std::string out = "error=";
  for (std::size_t i = 0; i < entry.errors.size(); ++i) {
    if (i > 0) out += ",";
    // The server's numbers are positive; the provider's own are HRESULTs.
    if (entry.errors[i] >= 0) {
      out += std::to_string(entry.errors[i]);
    } else {
      char number[16];
      std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(entry.errors[i]));
      out += number;
    }
  }
  if (entry.errors.empty()) out += "0";
  return out;
}

std::string FormatSqlLogEntry(const SqlLogEntry& entry) {
  std::string out = "-- " + UtcTime(entry.time);
  out += " server=" + HeaderValue(entry.server);
  out += " database=" + HeaderValue(entry.database);
  out += " login=" + HeaderValue(entry.login);
  char duration[48];
  std::snprintf(duration, sizeof duration, " duration=%.3fms",
                static_cast<double>(entry.duration.count()) / 1000.0);
  out += duration;
  out += " " + SqlLogOutcome(entry);
  out += "\n";
  std::string text = entry.connect ? "-- connect " + entry.text : entry.text;
  // The entry's own line break follows; a trailing one would leave a gap.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  out += text;
  out += "\nGO\n";
  return out;
}

}  // namespace bw
