// Login passwords are kept only as salted hashes (crypt(3) SHA-512).
#pragma once

#include <string>

namespace standin::engine {

// A salted hash of the password, a fresh salt each time. Slow on purpose.
// Throws std::runtime_error when crypt(3) cannot make one.
std::string HashPassword(const std::string& password);
// Whether `password` is the one `hash` was made from; compares in constant time.
bool VerifyPassword(const std::string& password, const std::string& hash);

}  // namespace standin::engine
