#pragma once
// The stored password record (server and remote-console passwords) and its verification.
#include <cstddef>

namespace Tessera3D {

class CStoredPassword {
public:
    static constexpr char TYPE_BCRYPT = 'b';
    static constexpr unsigned DEFAULT_COST = 10;
    static constexpr size_t MAX_HASH_LENGTH = 255;

    CStoredPassword() { Clear(); }

    // Hashes a plain password with a fresh 16-byte salt. An empty or null password clears the record.
    // Should hashing fail, the record keeps the error hash, which verifies nothing (a failed set never
    // opens the server), and the call returns false.
    bool Set(const char* password, unsigned cost = DEFAULT_COST);
    void Clear();

    bool IsSet() const { return m_Length != 0; }
    // The hash length plus one; 0 when no password is set.
    size_t GetLength() const { return m_Length; }
    // 'b' for bcrypt; 0 when no password is set.
    char GetType() const { return m_szRecord[0]; }
    const char* GetHash() const { return m_szRecord + 1; }
    // The type byte followed directly by the hash, as VerifyPassword reads it.
    const char* GetRecord() const { return m_szRecord; }

    // False when no password is set.
    bool Verify(const char* password) const;

private:
    size_t m_Length;
    char m_szRecord[1 + MAX_HASH_LENGTH + 1];
};

// True when password matches a stored record ("b" followed by a bcrypt string). Malformed records,
// versions other than "$2$" and "$2a$", costs outside 4..31 and short salts never verify.
bool VerifyPassword(const char* password, const char* stored);

} // namespace Tessera3D
