#pragma once
// SHA-256 (FIPS 180-4) over OpenSSL; names the published client files.
#include <cstddef>
#include <cstdint>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace Tessera3D {

class CSHA256 {
public:
    static constexpr size_t DIGEST_SIZE = 32;

    CSHA256();
    ~CSHA256();
    CSHA256(const CSHA256&) = delete;
    CSHA256& operator=(const CSHA256&) = delete;

    // Starts a new digest (the constructor already did).
    bool Init();
    bool Add(const void* pData, size_t length);
    // Writes the digest; the hash must be initialised again before the next use.
    bool Finish(uint8_t digest[DIGEST_SIZE]);

    static bool Compute(const void* pData, size_t length, uint8_t digest[DIGEST_SIZE]);

private:
    EVP_MD_CTX* m_pContext;
    bool m_bReady = false;
};

} // namespace Tessera3D
