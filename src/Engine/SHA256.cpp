#include "Engine/SHA256.h"

#include "EvpDigest.h"

namespace Tessera3D {

CSHA256::CSHA256() : m_pContext(EVP_MD_CTX_new()) { Init(); }

CSHA256::~CSHA256() { EVP_MD_CTX_free(m_pContext); }

bool CSHA256::Init() { return m_bReady = EvpDigest::Init(m_pContext, EVP_sha256()); }

bool CSHA256::Add(const void* pData, size_t length) {
    return EvpDigest::Add(m_pContext, m_bReady, pData, length);
}

bool CSHA256::Finish(uint8_t digest[DIGEST_SIZE]) {
    const bool ok = EvpDigest::Finish(m_pContext, m_bReady, digest, DIGEST_SIZE);
    m_bReady = false;
    return ok;
}

bool CSHA256::Compute(const void* pData, size_t length, uint8_t digest[DIGEST_SIZE]) {
    CSHA256 hash;
    return hash.Add(pData, length) && hash.Finish(digest);
}

} // namespace Tessera3D
