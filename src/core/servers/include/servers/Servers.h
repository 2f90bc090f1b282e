// The registered SQL Servers of the current user, in display order, keyed by
// the decimal text of their ServerID. Loading reads every registration from
// the hive, orders them by their stored positions, renumbers the positions
// 1…n and connects each server (an unreachable one stays listed) — or, for a
// command line that needs only some of them, leaves connecting to the caller.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "servers/Server.h"
#include "servers/cRegistry.h"

namespace bw {

class Servers {
 public:
  // All: every server is connected while loading, one after the other, once
  // every host has been probed at the same time (the console). OnDemand: none is; the caller
  // connects those it needs (Server::Connect) or all at once (ConnectPending).
  enum class ConnectMode { All, OnDemand };

  // Loads the registrations. A missing or unreadable key leaves the
  // collection empty.
  explicit Servers(ConnectMode mode = ConnectMode::All);
  ~Servers();
  Servers(const Servers&) = delete;
  Servers& operator=(const Servers&) = delete;

  // Registers and connects a new server. An empty string asks the data-link
  // prompt (when one is installed) and returns nullptr when it is cancelled.
  // A string that an existing registration's string begins with (ignoring
  // case) returns that server and writes nothing. When Connect fails the
  // registration stays in the hive (listed at the next start) and nullptr is
  // returned.
  Server* Add(std::string& connectionString);
  // By 1-based position; out of range raises error 9 ("Subscript out of range").
  Server* Item(long index);
  // By key text; nullptr when no server has that key.
  Server* Item(const std::string& key);
  long Count() const { return static_cast<long>(m_Items.size()); }
  // Closes the server's connection, deletes its registration and drops it.
  // Positions of the others are renumbered at the next load.
  void Remove(long index);
  void Remove(const std::string& key);
  // The servers in display order.
  std::vector<Server*> NewEnum() const;
  // Connects every server not connected yet, all at the same time, so one
  // that never answers costs one time-out, not one per server.
  void ConnectPending();

  // Moves a stored position; `newPosition` is lowered to the number of
  // registrations when larger.
  void MoveOrdinalPosition(long oldPosition, long& newPosition);

  // A position/ServerID pair and the ordering the loader uses (exposed for
  // tests of its edge cases).
  struct PositionPair {
    std::int32_t serverId;
    long position;
  };
  std::vector<std::unique_ptr<Server>> LoadRegistrations();
  static void SortByPosition(std::vector<PositionPair>& pairs, long low, long high);

  // Stands in for the platform's data-link dialog: returns a connection
  // string, or nothing when the user cancels.
  using DataLinkPrompt = std::function<std::optional<std::string>()>;
  static void SetDataLinkPrompt(DataLinkPrompt prompt);

  static std::string ParentKey();

 private:
  std::vector<std::unique_ptr<Server>>::iterator Find(const std::string& key);

  ConnectMode m_Mode;
  std::vector<std::unique_ptr<Server>> m_Items;
  cRegistry m_Registry;
};

}  // namespace bw
