// The schema under which registration passwords are kept in the Secret
// Service: one string attribute, "reference", the hive's reference. Shared
// with the keyring tests, which must find what bwctl stored.
#pragma once

#include <libsecret/secret.h>

namespace bw::platform {

const SecretSchema* SecretServiceSchema();

}  // namespace bw::platform
