#pragma once
// The shared steps of the OpenSSL EVP digests behind CMD5Hash and CSHA256.
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>

namespace Tessera3D {
namespace EvpDigest {

inline bool Init(EVP_MD_CTX* pContext, const EVP_MD* pType) {
    return pContext && pType && EVP_DigestInit_ex(pContext, pType, nullptr) == 1;
}

inline bool Add(EVP_MD_CTX* pContext, bool ready, const void* pData, size_t length) {
    if (!ready) return false;
    if (length == 0) return true;
    return pData && EVP_DigestUpdate(pContext, pData, length) == 1;
}

inline bool Finish(EVP_MD_CTX* pContext, bool ready, uint8_t* pDigest, size_t size) {
    if (!ready || static_cast<size_t>(EVP_MD_CTX_get_size(pContext)) != size) return false;
    unsigned int written = 0;
    return EVP_DigestFinal_ex(pContext, pDigest, &written) == 1 && written == size;
}

} // namespace EvpDigest
} // namespace Tessera3D
