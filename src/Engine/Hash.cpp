#include "Engine/Hash.h"

#include "Engine/Stream.h"
#include "EvpDigest.h"

#include <zlib.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace Tessera3D {

// zlib keeps the complemented value between calls; the running value here is the raw register.
void CRC32Hash::AddBytes(const void* pData, size_t length) {
    if (!pData || length == 0) return;
    m_Value = ~static_cast<uint32_t>(crc32_z(~m_Value, static_cast<const Bytef*>(pData), length));
}

void CRC32Hash::AddString(const char* text, bool lower) {
    if (!text) return;
    AddString(text, strlen(text), lower);
}

void CRC32Hash::AddString(const char* text, size_t length, bool lower) {
    if (!text || length == 0) return;
    length = strnlen(text, length);
    if (!lower) {
        AddBytes(text, length);
        return;
    }
    uint8_t piece[256];
    while (length > 0) {
        const size_t count = length < sizeof(piece) ? length : sizeof(piece);
        for (size_t i = 0; i < count; ++i)
            piece[i] = static_cast<uint8_t>(tolower(static_cast<unsigned char>(text[i])));
        AddBytes(piece, count);
        text += count;
        length -= count;
    }
}

bool CRC32Hash::AddStream(Stream* pStream) {
    if (!pStream || !pStream->Seek(0, SEEK_ORIGIN_BEGIN)) return false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[STREAM_PIECE_SIZE]);
    if (!buffer) return false;
    for (;;) {
        const size_t read = pStream->Read(buffer.get(), STREAM_PIECE_SIZE);
        if (read == 0) break;
        AddBytes(buffer.get(), read);
    }
    return true;
}

uint32_t CRC32Hash::Compute(const void* pData, size_t length) {
    CRC32Hash hash;
    hash.AddBytes(pData, length);
    return hash.GetHash();
}

uint32_t CRC32Hash::Compute(const char* text) {
    CRC32Hash hash;
    hash.AddString(text, false);
    return hash.GetHash();
}

uint32_t CRC32Hash::NameKey(const char* name) {
    CRC32Hash hash;
    hash.AddString(name, true);
    return hash.GetHash();
}

bool CRC32Hash::ComputeStream(Stream* pStream, uint32_t& result) {
    CRC32Hash hash;
    if (!hash.AddStream(pStream)) return false;
    result = hash.GetHash();
    return true;
}

CMD5Hash::CMD5Hash() : m_pContext(EVP_MD_CTX_new()) { Init(); }

CMD5Hash::~CMD5Hash() { EVP_MD_CTX_free(m_pContext); }

bool CMD5Hash::Init() { return m_bReady = EvpDigest::Init(m_pContext, EVP_md5()); }

bool CMD5Hash::Add(const void* pData, size_t length) {
    return EvpDigest::Add(m_pContext, m_bReady, pData, length);
}

bool CMD5Hash::Finish(uint8_t digest[DIGEST_SIZE]) {
    const bool ok = EvpDigest::Finish(m_pContext, m_bReady, digest, DIGEST_SIZE);
    m_bReady = false;
    return ok;
}

bool CMD5Hash::Compute(const void* pData, size_t length, uint8_t digest[DIGEST_SIZE]) {
    CMD5Hash hash;
    return hash.Add(pData, length) && hash.Finish(digest);
}

} // namespace Tessera3D
