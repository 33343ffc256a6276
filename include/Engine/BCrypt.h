#pragma once
// bcrypt for stored passwords. libxcrypt does the hashing; this face accepts only the "$2$" and
// "$2a$" settings so that no other crypt algorithm can ever run through it.
#include <cstddef>
#include <cstdint>

namespace Tessera3D {
namespace BCrypt {

// Room for any result: "$2a$" + cost + "$" + 22 salt + 31 hash characters is 60 plus the terminator.
constexpr size_t OUTPUT_SIZE = 64;
// What an unacceptable setting produces; it never matches a stored hash.
constexpr const char* ERROR_STRING = ":";
constexpr unsigned MIN_COST = 4;
constexpr unsigned MAX_COST = 31;
constexpr size_t SALT_BYTES = 16;
constexpr size_t SALT_LENGTH = 22;

// Hashes key with a setting "$2$NN$<22 salt>" or "$2a$NN$<22 salt>" (anything may follow the salt,
// so a stored hash serves as its own setting). output needs OUTPUT_SIZE bytes; for any other prefix,
// a cost outside 4..31 or a short or malformed salt it receives ERROR_STRING. A null key is empty.
void bcrypt(const char* key, const char* setting, char* output);

// Writes length bytes in the bcrypt base-64 alphabet ("./A-Za-z0-9", no padding) and a terminator;
// output needs (length * 4 + 2) / 3 + 1 bytes.
void encode_base64(char* output, const uint8_t* data, size_t length);

// "$2a$" + the two-digit cost + "$" + 16 salt bytes encoded; output needs OUTPUT_SIZE bytes. False
// for a cost outside 4..31.
bool MakeSetting(unsigned cost, const uint8_t salt[SALT_BYTES], char* output);

} // namespace BCrypt
} // namespace Tessera3D
