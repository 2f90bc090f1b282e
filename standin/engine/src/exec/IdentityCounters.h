// The identity values handed out per table, kept outside the databases'
// transactions. SQL Server never hands an IDENTITY value out twice: a value
// taken by an insert that failed or was rolled back stays used. The stored
// last value rolls back with the transaction, so the engine also remembers
// the highest value it gave out, process-wide, for every session.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace standin::engine {

class IdentityCounters {
 public:
  // `key` names the table in its database file ("<file>\n<lower-case table>").
  static std::optional<std::int64_t> Last(const std::string& key) {
    std::lock_guard<std::mutex> lock(Mutex());
    auto it = Map().find(key);
    if (it == Map().end()) return std::nullopt;
    return it->second;
  }
  // Keeps the value furthest along in the direction of the increment.
  static void Used(const std::string& key, std::int64_t value, std::int64_t increment) {
    std::lock_guard<std::mutex> lock(Mutex());
    auto [it, inserted] = Map().emplace(key, value);
    if (!inserted && (increment > 0 ? value > it->second : value < it->second)) it->second = value;
  }
  // DROP TABLE and TRUNCATE TABLE start the table over at its seed.
  static void Forget(const std::string& key) {
    std::lock_guard<std::mutex> lock(Mutex());
    Map().erase(key);
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::map<std::string, std::int64_t>& Map() {
    static std::map<std::string, std::int64_t> map;
    return map;
  }
};

}  // namespace standin::engine
