#pragma once
// CRC-32 (name keys, file checksums) and MD5 (game-file digests). zlib and OpenSSL do the work.
#include <cstddef>
#include <cstdint>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace Tessera3D {

class Stream;

// The standard CRC-32 (ISO-HDLC, as zlib computes it). The running value starts at 0xFFFFFFFF; the
// value users take is its complement (GetHash).
class CRC32Hash {
public:
    static constexpr uint32_t INITIAL_VALUE = 0xFFFFFFFFu;
    static constexpr size_t STREAM_PIECE_SIZE = 1048576;

    CRC32Hash() = default;

    void Reset() { m_Value = INITIAL_VALUE; }
    void AddByte(uint8_t byte) { AddBytes(&byte, 1); }
    // Raw bytes, NUL bytes included.
    void AddBytes(const void* pData, size_t length);
    // The bytes of a NUL-terminated text; with lower, each byte goes through tolower first. A null
    // text changes nothing.
    void AddString(const char* text, bool lower);
    // At most length bytes of text; a NUL inside the range ends the input there.
    void AddString(const char* text, size_t length, bool lower);
    // Every byte of the stream from its start to its end, read in pieces of STREAM_PIECE_SIZE bytes.
    // False when the stream cannot be read (the hash then covers what was read).
    bool AddStream(Stream* pStream);

    uint32_t GetRunningValue() const { return m_Value; }
    uint32_t GetHash() const { return ~m_Value; }

    static uint32_t Compute(const void* pData, size_t length);
    // The final CRC-32 of a text as it is (case-sensitive).
    static uint32_t Compute(const char* text);
    // The key of a case-insensitive name (events, commands, resources, console variables): the final
    // CRC-32 of the lower-cased name.
    static uint32_t NameKey(const char* name);
    // The checksum of a whole stream (client files); false when nothing could be read.
    static bool ComputeStream(Stream* pStream, uint32_t& hash);

private:
    uint32_t m_Value = INITIAL_VALUE;
};

// MD5 (RFC 1321). Users read the digest as four little-endian 32-bit words.
class CMD5Hash {
public:
    static constexpr size_t DIGEST_SIZE = 16;

    CMD5Hash();
    ~CMD5Hash();
    CMD5Hash(const CMD5Hash&) = delete;
    CMD5Hash& operator=(const CMD5Hash&) = delete;

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
