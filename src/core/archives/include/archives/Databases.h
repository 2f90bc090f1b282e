// The archive catalogue of one registered SQL Server: every database whose
// name starts with the archive prefix, keyed by the decimal text of its
// ArchiveID. The only place where archives come into being (attach, create)
// or disappear (detach, drop). Owned by its Server, filled once.
//
// Archive identities are not stored anywhere: a new one is the count plus 1
// plus the number removed so far, so it never repeats a key still in use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archives/ArchiveRemains.h"
#include "archives/Database.h"
#include "data/DataAccess.h"

namespace bw {

class Server;

// SQL Server names (sysname) hold at most 128 characters; an archive's
// database name is the prefix and the archive name.
inline constexpr std::size_t kMaxDatabaseNameLength = 128;
inline constexpr std::size_t kMaxArchiveNameLength = kMaxDatabaseNameLength - 12;

// Characters (not bytes) of a UTF-8 name, as the server counts them.
std::size_t NameLength(const std::string& name);

// An archive database the catalogue found but could not open: listed with
// the reason, never one of the archives (it has no ArchiveID).
struct UnopenedArchive {
  std::string name;      // the archive name, after the prefix
  std::string reason;    // the server's message, or why it was not tried
  bool refused = false;  // the login may not open it (a matter of rights)
};

class Databases {
 public:
  Databases();
  ~Databases();
  Databases(const Databases&) = delete;
  Databases& operator=(const Databases&) = delete;

  // Binds the catalogue to its server and its connection (opened when found
  // closed).
  void SetServer(Server* server);
  Server* GetServer() const { return m_Server; }

  // The first filling from the server's database list. Databases whose
  // owner has no login are given to sa and the list read once more when the
  // server refuses it. An archive that cannot be opened is kept aside with
  // its reason (Unopened); the others are filled in all the same.
  void Fill();
  // Puts one existing archive into the catalogue while it is filled, or
  // among the unopened ones.
  void LoadArchive(const std::string& name);
  const std::vector<UnopenedArchive>& Unopened() const { return m_Unopened; }

  // Attaches existing files (the log too when `ldfPath` is not empty).
  // nullptr when the archive's connection does not open.
  Database* Add(const std::string& name, const std::string& mdfPath,
                const std::string& ldfPath = "");
  // Creates a new archive with its whole schema; a failure is reported to the
  // administrator (message 137) and the half-made database removed, and the
  // connection that then cannot open raises its error.
  Database* AddNew(const std::string& name, const std::string& path);

  // What an interrupted creation of archive `name` left on the server: its
  // archive when that is incomplete and holds nothing but what a creation
  // makes, and an empty database under the bare name (the creation makes it
  // first and renames it then). Anything else of that name is not remains.
  // Never raises: what cannot be looked at is not remains.
  std::vector<ArchiveRemains> Remains(const std::string& name);
  // Drops them, after ending the sessions on them (asking about other
  // logins'). False when that was declined; the server's error is raised.
  bool RemoveRemains(const ArchiveRemains& remains);

  // By key text or 1-based position; nullptr when unknown.
  Database* Item(const std::string& key) const;
  Database* Item(long position) const;
  long Count() const { return static_cast<long>(m_Items.size()); }
  // Detach and drop. False when the administrator declines to end other
  // users' sessions. An unknown key raises error 5 (invalid argument).
  bool Remove(const std::string& key);
  bool Delete(const std::string& key);
  std::vector<Database*> NewEnum() const;

  // Asks before ending other logins' sessions on the archive (the caller's
  // own are ended without asking). True when the caller may go on.
  bool CloseArchiveSessions(Connection& connection, const std::string& databaseName);

  Connection& ServerConnection() { return *m_ServerConnection; }

 private:
  bool OpenDatabaseList(Recordset& list);
  void GiveOrphanedDatabasesToSa();
  std::unique_ptr<Database> Prepare(const std::string& name);
  Database* Keep(std::unique_ptr<Database> archive);
  bool Take(const std::string& key, const std::string& statementHead, bool detach);
  bool CreateArchiveDatabase(const std::string& name, const std::string& path);

  Server* m_Server = nullptr;
  Connection* m_ServerConnection = nullptr;
  Command m_Command;
  std::vector<std::unique_ptr<Database>> m_Items;
  std::vector<UnopenedArchive> m_Unopened;
  std::int32_t m_RemovedCount = 0;
};

}  // namespace bw
