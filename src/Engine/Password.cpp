#include "Engine/Password.h"

#include "Engine/BCrypt.h"

#include <openssl/rand.h>

#include <cstdlib>
#include <cstring>

namespace Tessera3D {

void CStoredPassword::Clear() {
    m_Length = 0;
    memset(m_szRecord, 0, sizeof(m_szRecord));
}

bool CStoredPassword::Set(const char* password, unsigned cost) {
    Clear();
    if (!password || !*password) return true;

    uint8_t salt[BCrypt::SALT_BYTES];
    if (RAND_bytes(salt, sizeof(salt)) != 1) {
        for (uint8_t& byte : salt) byte = static_cast<uint8_t>(rand());
    }
    char setting[BCrypt::OUTPUT_SIZE];
    char hash[BCrypt::OUTPUT_SIZE];
    if (BCrypt::MakeSetting(cost, salt, setting))
        BCrypt::bcrypt(password, setting, hash);
    else
        strcpy(hash, BCrypt::ERROR_STRING);

    const size_t length = strnlen(hash, MAX_HASH_LENGTH);
    m_szRecord[0] = TYPE_BCRYPT;
    memcpy(m_szRecord + 1, hash, length);
    m_szRecord[1 + length] = '\0';
    m_Length = length + 1;
    return strcmp(hash, BCrypt::ERROR_STRING) != 0;
}

bool CStoredPassword::Verify(const char* password) const {
    return IsSet() && VerifyPassword(password, m_szRecord);
}

bool VerifyPassword(const char* password, const char* stored) {
    if (!password || !stored) return false;
    if (stored[0] != CStoredPassword::TYPE_BCRYPT || stored[1] != '$') return false;
    // The major version may not be above 2 (and must be there at all).
    const unsigned char major = static_cast<unsigned char>(stored[2]);
    if (major == '\0' || major > '2') return false;

    size_t position = 3;
    if (stored[position] == 'a') ++position;
    if (stored[position] != '$') return false;
    ++position;

    const char* cost = stored + position;
    if (cost[0] < '0' || cost[0] > '9' || cost[1] < '0' || cost[1] > '9' || cost[2] != '$') return false;
    const unsigned rounds = static_cast<unsigned>((cost[0] - '0') * 10 + (cost[1] - '0'));
    if (rounds > BCrypt::MAX_COST || rounds < BCrypt::MIN_COST) return false;
    if (strnlen(cost + 3, BCrypt::SALT_LENGTH) < BCrypt::SALT_LENGTH) return false;

    const char* expected = stored + 1;
    char computed[BCrypt::OUTPUT_SIZE];
    BCrypt::bcrypt(password, expected, computed);

    // Compare over the longer length without stopping early, so timing tells nothing about where
    // the strings part.
    const size_t computedLength = strlen(computed);
    const size_t expectedLength = strlen(expected);
    const size_t length = computedLength > expectedLength ? computedLength : expectedLength;
    unsigned difference = computedLength != expectedLength;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char a = i < computedLength ? static_cast<unsigned char>(computed[i]) : 0;
        const unsigned char b = i < expectedLength ? static_cast<unsigned char>(expected[i]) : 0;
        difference |= a ^ b;
    }
    return difference == 0;
}

} // namespace Tessera3D
