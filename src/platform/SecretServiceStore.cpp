#include "platform/SecretServiceStore.h"

#include "platform/SecretServiceSchema.h"

#include <libsecret/secret.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>

#include "support/Error.h"
#include "support/Log.h"

namespace bw::platform {

namespace {

// A call that was cancelled completes at once with G_IO_ERROR_CANCELLED;
// this is how long it may take to say so before it is abandoned.
constexpr int kCancelGraceMs = 500;

Error Unavailable(const std::string& why) {
  return Error(kErrKeyringUnavailable, kKeyringSource, "No keyring answers: " + why + ".");
}

Error Locked() {
  return Error(kErrKeyringLocked, kKeyringSource,
               "The keyring is locked. It is not unlocked on its own; unlock it (logging in to "
               "the desktop usually does) and try again.");
}

// Without an address GLib would try to autolaunch a bus through X11, which
// is never wanted: no address and no bus socket mean no keyring.
std::optional<std::string> NoBusReason() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return std::nullopt;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') {
    struct stat info {};
    std::string socket = std::string(runtime) + "/bus";
    if (::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return std::nullopt;
  }
  return std::string("there is no session bus (DBUS_SESSION_BUS_ADDRESS is not set)");
}

Error FromGError(GError* error, const std::string& doing) {
  if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) return Locked();
  g_dbus_error_strip_remote_error(error);
  std::string message = error->message != nullptr ? error->message : "unknown error";
  if (error->domain == G_DBUS_ERROR &&
      (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN ||
       error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER ||
       error->code == G_DBUS_ERROR_FILE_NOT_FOUND || error->code == G_DBUS_ERROR_NO_SERVER)) {
    return Unavailable(message);
  }
  if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_NOT_FOUND) {
    return Unavailable(message);
  }
  return Error(kErrKeyringFailed, kKeyringSource, doing + ": " + message);
}

// Throws the error a finished call left, consuming it.
void Check(GError* error, const std::string& doing) {
  if (error == nullptr) return;
  Error raised = FromGError(error, doing);
  g_error_free(error);
  throw raised;
}

// What a started call and its completion share. The completion may come
// after the waiter gave up (it runs whenever the private context is next
// iterated), so whichever of the two is last frees it. Both run on the
// thread that holds the store's mutex.
struct Pending {
  GAsyncResult* result = nullptr;
  int owners = 2;
};

void Release(Pending* pending) {
  if (--pending->owners > 0) return;
  if (pending->result != nullptr) g_object_unref(pending->result);
  delete pending;
}

void OnDone(GObject*, GAsyncResult* result, gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  pending->result = G_ASYNC_RESULT(g_object_ref(result));
  Release(pending);
}

gboolean OnExpired(gpointer data) {
  *static_cast<bool*>(data) = true;
  return G_SOURCE_REMOVE;
}

struct HashTableFree {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableFree>;

Attributes AttributesOf(const std::string& reference) {
  Attributes attributes(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(attributes.get(), const_cast<char*>("reference"),
                      const_cast<char*>(reference.c_str()));
  return attributes;
}

struct ItemsFree {
  void operator()(GList* items) const { g_list_free_full(items, g_object_unref); }
};
using Items = std::unique_ptr<GList, ItemsFree>;

}  // namespace

struct SecretServiceStore::Impl {
  using Start = std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>;

  // The private context is the thread's default while a call runs, so
  // libsecret's completions are dispatched to it and nowhere else (the
  // console's own main loop never sees them).
  class Scope {
   public:
    explicit Scope(GMainContext* context) : m_Context(context) {
      g_main_context_push_thread_default(m_Context);
    }
    ~Scope() { g_main_context_pop_thread_default(m_Context); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    GMainContext* m_Context;
  };

  explicit Impl(int timeout) : timeoutMs(timeout), context(g_main_context_new()) {}
  ~Impl() {
    if (service != nullptr) {
      Scope scope(context);
      g_object_unref(service);
    }
    g_main_context_unref(context);
  }

  // Iterates the private context until `pending` completes or `ms` pass.
  bool WaitFor(Pending* pending, int ms) {
    bool expired = false;
    GSource* timer = g_timeout_source_new(static_cast<guint>(ms));
    g_source_set_callback(timer, OnExpired, &expired, nullptr);
    g_source_attach(timer, context);
    while (pending->result == nullptr && !expired) g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    return pending->result != nullptr;
  }

  // Runs one asynchronous call to its end and hands back its result (the
  // caller unrefs it). Throws kErrKeyringTimeout when the time-out passes.
  GAsyncResult* Call(const Start& start) {
    auto* pending = new Pending;
    GCancellable* cancellable = g_cancellable_new();
    start(cancellable, OnDone, pending);
    bool done = WaitFor(pending, timeoutMs);
    if (!done) {
      g_cancellable_cancel(cancellable);
      WaitFor(pending, kCancelGraceMs);
    }
    g_object_unref(cancellable);
    GAsyncResult* result = nullptr;
    if (done) std::swap(result, pending->result);
    Release(pending);
    if (result == nullptr) {
      throw Error(kErrKeyringTimeout, kKeyringSource,
                  "The keyring did not answer within " + std::to_string(timeoutMs) + " ms.");
    }
    return result;
  }

  // The connection to the Secret Service, made once; its failure is kept
  // too, so a session without a keyring is asked only once.
  SecretService* Service() {
    if (service != nullptr) return service;
    if (failure) throw *failure;
    try {
      if (auto reason = NoBusReason()) throw Unavailable(*reason);
      GAsyncResult* result = Call([](GCancellable* c, GAsyncReadyCallback done, gpointer data) {
        secret_service_open(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, c, done,
                            data);
      });
      GError* error = nullptr;
      SecretService* opened = secret_service_open_finish(result, &error);
      g_object_unref(result);
      if (error != nullptr) {
        // Whatever kept it from opening (no bus there, no Secret Service on
        // it, a bad address), there is no keyring to use.
        g_dbus_error_strip_remote_error(error);
        std::string message = error->message != nullptr ? error->message : "unknown error";
        g_error_free(error);
        throw Unavailable(message);
      }
      service = opened;
      Log("keyring", "the Secret Service answers");
      return service;
    } catch (const Error& error) {
      Log("keyring", error.Description());
      failure = error;
      throw;
    }
  }

  Items Search(const std::string& reference, SecretSearchFlags flags) {
    SecretService* opened = Service();
    Attributes attributes = AttributesOf(reference);
    GAsyncResult* result = Call([&](GCancellable* c, GAsyncReadyCallback done, gpointer data) {
      secret_service_search(opened, SecretServiceSchema(), attributes.get(), flags, c, done, data);
    });
    GError* error = nullptr;
    Items items(secret_service_search_finish(opened, result, &error));
    g_object_unref(result);
    Check(error, "The keyring could not be searched");
    for (GList* node = items.get(); node != nullptr; node = node->next) {
      if (secret_item_get_locked(SECRET_ITEM(node->data))) throw Locked();
    }
    return items;
  }

  std::mutex mutex;
  int timeoutMs;
  GMainContext* context;
  SecretService* service = nullptr;
  std::optional<Error> failure;
};

SecretServiceStore::SecretServiceStore(int timeoutMs) : m_Impl(std::make_unique<Impl>(timeoutMs)) {}

SecretServiceStore::~SecretServiceStore() = default;

bool SecretServiceStore::Available() {
  std::lock_guard lock(m_Impl->mutex);
  Impl::Scope scope(m_Impl->context);
  try {
    m_Impl->Service();
    return true;
  } catch (const Error&) {
    return false;
  }
}

std::string SecretServiceStore::WhyUnavailable() const {
  std::lock_guard lock(m_Impl->mutex);
  return m_Impl->failure ? m_Impl->failure->Description() : std::string();
}

void SecretServiceStore::Store(const std::string& reference, const std::string& label,
                               const std::string& secret) {
  std::lock_guard lock(m_Impl->mutex);
  Impl::Scope scope(m_Impl->context);
  SecretService* service = m_Impl->Service();

  // Storing into a locked or missing collection would prompt the user;
  // both are reported instead.
  GAsyncResult* result =
      m_Impl->Call([&](GCancellable* c, GAsyncReadyCallback done, gpointer data) {
        secret_collection_for_alias(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, c,
                                    done, data);
      });
  GError* error = nullptr;
  SecretCollection* collection = secret_collection_for_alias_finish(result, &error);
  g_object_unref(result);
  Check(error, "The keyring's default collection could not be opened");
  if (collection == nullptr) {
    throw Unavailable("the keyring has no default collection to keep passwords in");
  }
  bool locked = secret_collection_get_locked(collection);
  g_object_unref(collection);
  if (locked) throw Locked();

  Attributes attributes = AttributesOf(reference);
  SecretValue* value =
      secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
  try {
    result = m_Impl->Call([&](GCancellable* c, GAsyncReadyCallback done, gpointer data) {
      secret_service_store(service, SecretServiceSchema(), attributes.get(),
                           SECRET_COLLECTION_DEFAULT, label.c_str(), value, c, done, data);
    });
  } catch (...) {
    secret_value_unref(value);
    throw;
  }
  secret_value_unref(value);
  secret_service_store_finish(service, result, &error);
  g_object_unref(result);
  Check(error, "The password could not be stored in the keyring");
}

std::optional<std::string> SecretServiceStore::Lookup(const std::string& reference) {
  std::lock_guard lock(m_Impl->mutex);
  Impl::Scope scope(m_Impl->context);
  Items items = m_Impl->Search(
      reference, static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS));
  if (items == nullptr) return std::nullopt;
  SecretValue* value = secret_item_get_secret(SECRET_ITEM(items->data));
  if (value == nullptr) {
    throw Error(kErrKeyringFailed, kKeyringSource,
                "The keyring found the password but did not hand it over.");
  }
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  std::string secret(bytes, length);
  secret_value_unref(value);
  return secret;
}

bool SecretServiceStore::Remove(const std::string& reference) {
  std::lock_guard lock(m_Impl->mutex);
  Impl::Scope scope(m_Impl->context);
  Items items = m_Impl->Search(reference, SECRET_SEARCH_ALL);
  bool removed = false;
  for (GList* node = items.get(); node != nullptr; node = node->next) {
    SecretItem* item = SECRET_ITEM(node->data);
    GAsyncResult* result =
        m_Impl->Call([&](GCancellable* c, GAsyncReadyCallback done, gpointer data) {
          secret_item_delete(item, c, done, data);
        });
    GError* error = nullptr;
    secret_item_delete_finish(item, result, &error);
    g_object_unref(result);
    Check(error, "The password could not be removed from the keyring");
    removed = true;
  }
  return removed;
}

const SecretSchema* SecretServiceSchema() {
  static const SecretSchema schema = [] {
    SecretSchema s{};
    s.name = "org.brindlewick.ServerManager.Password";
    s.flags = SECRET_SCHEMA_NONE;
    s.attributes[0].name = "reference";
    s.attributes[0].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
    return s;
  }();
  return &schema;
}

}  // namespace bw::platform
