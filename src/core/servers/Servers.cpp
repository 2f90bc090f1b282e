#include "servers/Servers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <thread>

#include "platform/HiveFormat.h"
#include "platform/RegistryHive.h"
#include "support/Helpers.h"

namespace bw {

namespace {

constexpr std::int32_t kErrSubscriptOutOfRange = 9;

Servers::DataLinkPrompt& Prompt() {
  static Servers::DataLinkPrompt prompt;
  return prompt;
}

// A sub-key name as a ServerID: decimal digits only, within 32 bits.
std::optional<std::int32_t> ServerIdOf(const std::string& name) {
  std::int32_t id = 0;
  auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), id);
  if (name.empty() || ec != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return id;
}

}  // namespace

std::string Servers::ParentKey() {
  return std::string(kRegistryBasePath) + kServersKeyName;
}

void Servers::SetDataLinkPrompt(DataLinkPrompt prompt) {
  Prompt() = std::move(prompt);
}

// One lock and one reading of the hive for all registrations: outside a
// transaction every value read would read the whole file again.
std::vector<std::unique_ptr<Server>> Servers::LoadRegistrations() {
  RegistryHive::Transaction transaction(RegistryHive::ForCurrentUser());
  m_Registry.SetClassKey(kHKeyCurrentUser);
  m_Registry.SetSectionKey(ParentKey());
  std::vector<std::string> sections;
  long count = 0;
  if (!m_Registry.EnumerateSections(sections, count) || count == 0) return {};

  std::vector<PositionPair> pairs;
  std::map<std::int32_t, long> stored;
  for (long i = 1; i <= count; ++i) {
    // Sub-keys that are not ServerIDs were made by hand; they are not ours.
    auto id = ServerIdOf(sections[static_cast<std::size_t>(i)]);
    if (!id) continue;
    m_Registry.SetSectionKey(ParentKey() + "\\" + sections[static_cast<std::size_t>(i)]);
    m_Registry.SetValueKey("OrdinalPosition");
    m_Registry.SetDefault(Variant(0));
    long position = static_cast<long>(m_Registry.Value().ToInteger());
    stored[*id] = position;
    pairs.push_back({*id, position == 0 ? i : position});
  }
  if (pairs.empty()) return {};
  SortByPosition(pairs, 0, static_cast<long>(pairs.size()) - 1);

  std::vector<std::unique_ptr<Server>> loaded;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    m_Registry.SetSectionKey(ParentKey() + "\\" + std::to_string(pairs[i].serverId));
    // Each write commits the hive to disk; a position already in place is
    // left alone, so a start with many registrations stays quick.
    if (stored[pairs[i].serverId] != static_cast<long>(i + 1)) {
      m_Registry.SetValueKey("OrdinalPosition");
      m_Registry.SetValueType(kRegDword);
      m_Registry.SetValue(Variant(static_cast<std::int64_t>(i + 1)));
    }
    auto server = std::make_unique<Server>(this);
    server->SetServerID(pairs[i].serverId);
    server->ReadRegistration();
    loaded.push_back(std::move(server));
  }
  return loaded;
}

Servers::Servers(ConnectMode mode) : m_Mode(mode) {
  std::vector<std::unique_ptr<Server>> loaded = LoadRegistrations();
  // Outside the hive's lock: a keyring may take its time.
  for (auto& server : loaded) server->ResolvePassword();
  if (m_Mode == ConnectMode::All) {
    // Every host is asked at once and every server connects with the answer
    // its host gave, as if it had asked itself; a connect is quiet (its
    // failure is kept in the server), so the servers need not wait for each
    // other, and they stay in their registered order all the same.
    std::vector<std::thread> probes;
    probes.reserve(loaded.size());
    for (auto& server : loaded) {
      probes.emplace_back([&server] {
        server->ProbeReachability();
        server->Connect();
      });
    }
    for (auto& probe : probes) probe.join();
  } else {
    for (auto& server : loaded) server->ReadName();
  }
  for (auto& server : loaded) m_Items.push_back(std::move(server));
}

Servers::~Servers() = default;

void Servers::SortByPosition(std::vector<PositionPair>& pairs, long low, long high) {
  long left = low;
  long right = high;
  long pivot = pairs[static_cast<std::size_t>((low + high) / 2)].position;
  while (left <= right) {
    while (pairs[static_cast<std::size_t>(left)].position < pivot && left < high) ++left;
    while (pivot < pairs[static_cast<std::size_t>(right)].position && right > low) --right;
    if (left <= right) {
      std::swap(pairs[static_cast<std::size_t>(left)], pairs[static_cast<std::size_t>(right)]);
      ++left;
      --right;
    }
  }
  if (low < right) SortByPosition(pairs, low, right);
  if (left < high) SortByPosition(pairs, left, high);
}

void Servers::ConnectPending() {
  std::vector<std::thread> probes;
  for (const auto& server : m_Items) {
    if (server->IsConnected()) continue;
    Server* pending = server.get();
    probes.emplace_back([pending] { pending->Connect(); });
  }
  for (std::thread& probe : probes) probe.join();
}

Server* Servers::Add(std::string& connectionString) {
  if (connectionString.empty()) {
    if (!Prompt()) return nullptr;
    auto chosen = Prompt()();
    if (!chosen) return nullptr;
    connectionString = *chosen;
  }
  for (const auto& server : m_Items) {
    if (StartsWithIgnoreCase(server->ConnectionString(), connectionString)) return server.get();
  }

  auto server = std::make_unique<Server>(this);
  {
    // Another console adding at the same time must not get the same ServerID.
    RegistryHive::Transaction transaction(RegistryHive::ForCurrentUser());
    m_Registry.SetSectionKey(ParentKey());
    m_Registry.SetValueKey("LastServerID");
    m_Registry.SetDefault(Variant(0));
    std::int64_t id = m_Registry.Value().ToInteger() + 1;
    m_Registry.SetValueType(kRegDword);
    m_Registry.SetValue(Variant(id));
    server->SetServerID(static_cast<std::int32_t>(id));
    server->SetConnectionString(connectionString);
  }
  long position = Count() + 1;
  server->SetOrdinalPosition(position);
  if (!server->Connect()) return nullptr;
  m_Items.push_back(std::move(server));
  return m_Items.back().get();
}

Server* Servers::Item(long index) {
  if (index < 1 || index > Count()) {
    throw Error(kErrSubscriptOutOfRange, "Servers", "Subscript out of range");
  }
  return m_Items[static_cast<std::size_t>(index - 1)].get();
}

std::vector<std::unique_ptr<Server>>::iterator Servers::Find(const std::string& key) {
  return std::find_if(m_Items.begin(), m_Items.end(), [&](const auto& server) {
    return std::to_string(server->ServerID()) == key;
  });
}

Server* Servers::Item(const std::string& key) {
  auto it = Find(key);
  return it == m_Items.end() ? nullptr : it->get();
}

void Servers::Remove(long index) {
  Server* server = Item(index);
  server->DeleteRegistration();
  m_Items.erase(m_Items.begin() + (index - 1));
}

void Servers::Remove(const std::string& key) {
  auto it = Find(key);
  if (it == m_Items.end()) {
    throw Error(5, "Servers", "Invalid procedure call or argument");
  }
  (*it)->DeleteRegistration();
  m_Items.erase(it);
}

std::vector<Server*> Servers::NewEnum() const {
  std::vector<Server*> servers;
  for (const auto& server : m_Items) servers.push_back(server.get());
  return servers;
}

void Servers::MoveOrdinalPosition(long oldPosition, long& newPosition) {
  if (oldPosition == newPosition) return;
  cRegistry registry;
  registry.SetClassKey(kHKeyCurrentUser);
  registry.SetSectionKey(ParentKey());
  std::vector<std::string> sections;
  long count = 0;
  if (!registry.EnumerateSections(sections, count)) return;
  if (newPosition > count) newPosition = count;
  for (long i = 1; i <= count; ++i) {
    registry.SetSectionKey(ParentKey() + "\\" + sections[static_cast<std::size_t>(i)]);
    registry.SetValueKey("OrdinalPosition");
    registry.SetDefault(Variant(0));
    long p = static_cast<long>(registry.Value().ToInteger());
    long updated = p;
    if (p == oldPosition) {
      updated = newPosition;
    } else if (oldPosition >= 1) {
      if (p < oldPosition && p >= newPosition) updated = p + 1;
      if (p > oldPosition && p <= newPosition) updated = p - 1;
    }
    if (updated != p || p == oldPosition) {
      registry.SetValueType(kRegDword);
      registry.SetValue(Variant(static_cast<std::int64_t>(updated)));
    }
  }
}

}  // namespace bw
