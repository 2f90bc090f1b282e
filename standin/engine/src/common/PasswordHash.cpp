// Salted password hashes with crypt(3).
#include "common/PasswordHash.h"

#include <crypt.h>

#include <stdexcept>

namespace standin::engine {

std::string HashPassword(const std::string& password) {
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (!crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt)) {
    throw std::runtime_error("cannot generate a password salt");
  }
  crypt_data data{};
  const char* hash = crypt_rn(password.c_str(), salt, &data, sizeof data);
  if (!hash || hash[0] == '*') throw std::runtime_error("cannot hash the password");
  return hash;
}

bool VerifyPassword(const std::string& password, const std::string& hash) {
  crypt_data data{};
  const char* computed = crypt_rn(password.c_str(), hash.c_str(), &data, sizeof data);
  if (!computed || computed[0] == '*') return false;
  const std::string result(computed);
  if (result.size() != hash.size()) return false;
  unsigned char difference = 0;  // constant time: no early exit on the first mismatch
  for (std::size_t i = 0; i < hash.size(); ++i)
    difference |= static_cast<unsigned char>(result[i] ^ hash[i]);
  return difference == 0;
}

}  // namespace standin::engine
