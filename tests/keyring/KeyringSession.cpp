#include "KeyringSession.h"

#include "platform/SecretServiceSchema.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <stdexcept>

namespace bw::testing {

namespace {

[[noreturn]] void Fail(const std::string& what, GError* error) {
  std::string message = what + ": " + (error != nullptr ? error->message : "no answer");
  if (error != nullptr) g_error_free(error);
  throw std::runtime_error(message);
}

GDBusMessage* DropCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
  if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
    g_object_unref(message);
    return nullptr;
  }
  return message;
}

}  // namespace

bool InPrivateSession(const std::string& keyring) {
  const char* value = std::getenv("BW_PRIVATE_KEYRING");
  return value != nullptr && keyring == value;
}

std::optional<std::string> KeyringSecret(const std::string& reference) {
  GError* error = nullptr;
  gchar* secret = secret_password_lookup_sync(platform::SecretServiceSchema(), nullptr, &error,
                                              "reference", reference.c_str(), nullptr);
  if (error != nullptr) Fail("looking into the keyring", error);
  if (secret == nullptr) return std::nullopt;
  std::string text = secret;
  secret_password_free(secret);
  return text;
}

std::vector<std::string> KeyringLabels() {
  GError* error = nullptr;
  GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
  GList* items = secret_password_searchv_sync(platform::SecretServiceSchema(), attributes,
                                              SECRET_SEARCH_ALL, nullptr, &error);
  g_hash_table_unref(attributes);
  if (error != nullptr) Fail("searching the keyring", error);
  std::vector<std::string> labels;
  for (GList* node = items; node != nullptr; node = node->next) {
    gchar* label = secret_retrievable_get_label(SECRET_RETRIEVABLE(node->data));
    labels.emplace_back(label != nullptr ? label : "");
    g_free(label);
  }
  g_list_free_full(items, g_object_unref);
  return labels;
}

void LockDefaultKeyring() {
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  if (service == nullptr) Fail("opening the keyring", error);
  SecretCollection* collection = secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
  if (collection == nullptr) Fail("finding the default collection", error);
  GList* objects = g_list_append(nullptr, collection);
  gint locked = secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
  g_list_free(objects);
  g_object_unref(collection);
  g_object_unref(service);
  if (locked != 1) Fail("locking the default collection", error);
}

StuckSecretService::StuckSecretService() {
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (address == nullptr) Fail("finding the session bus", error);
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(address);
  if (connection == nullptr) Fail("connecting to the session bus", error);
  m_Connection = connection;
  // DBUS_NAME_FLAG_DO_NOT_QUEUE (4): the name now or a failure.
  GVariant* reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", g_variant_new("(su)", "org.freedesktop.secrets", 4u), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (reply == nullptr) Fail("owning org.freedesktop.secrets", error);
  guint32 outcome = 0;
  g_variant_get(reply, "(u)", &outcome);
  g_variant_unref(reply);
  // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
  if (outcome != 1) throw std::runtime_error("org.freedesktop.secrets is owned by another");
  m_Filter = g_dbus_connection_add_filter(connection, DropCalls, nullptr, nullptr);
}

StuckSecretService::~StuckSecretService() {
  auto* connection = static_cast<GDBusConnection*>(m_Connection);
  if (connection == nullptr) return;
  if (m_Filter != 0) g_dbus_connection_remove_filter(connection, m_Filter);
  g_dbus_connection_close_sync(connection, nullptr, nullptr);
  g_object_unref(connection);
}

}  // namespace bw::testing
