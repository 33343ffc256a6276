#include "Engine/TARArchive.h"

#include "Engine/Hash.h"
#include "Engine/StreamRangeStream.h"

#include <strings.h>

#include <cstring>

namespace Tessera3D {

namespace {

// ustar header fields: offset and size.
constexpr size_t NAME_OFFSET = 0, NAME_SIZE = 100;
constexpr size_t SIZE_OFFSET = 124, SIZE_SIZE = 12;
constexpr size_t MTIME_OFFSET = 136, MTIME_SIZE = 12;
constexpr size_t CHECKSUM_OFFSET = 148, CHECKSUM_SIZE = 8;
constexpr size_t TYPE_OFFSET = 156;
constexpr size_t MAGIC_OFFSET = 257;
constexpr size_t PREFIX_OFFSET = 345, PREFIX_SIZE = 155;

// An octal number field: optional leading spaces, octal digits, then a space, a NUL or the end of the
// field. Anything else (another digit, a base-256 marker) makes the field malformed.
bool ParseOctal(const uint8_t* field, size_t size, int64_t& value) {
    size_t i = 0;
    while (i < size && field[i] == ' ') ++i;
    int64_t result = 0;
    for (; i < size && field[i] != ' ' && field[i] != '\0'; ++i) {
        if (field[i] < '0' || field[i] > '7') return false;
        result = result * 8 + (field[i] - '0'); // at most 12 digits: no overflow
    }
    value = result;
    return true;
}

bool ChecksumMatches(const uint8_t* header) {
    int64_t stored;
    if (!ParseOctal(header + CHECKSUM_OFFSET, CHECKSUM_SIZE, stored)) return false;
    int64_t unsignedSum = 0, signedSum = 0;
    for (size_t i = 0; i < CTARArchive::BLOCK_SIZE; ++i) {
        const bool inField = i >= CHECKSUM_OFFSET && i < CHECKSUM_OFFSET + CHECKSUM_SIZE;
        const uint8_t byte = inField ? ' ' : header[i];
        unsignedSum += byte;
        signedSum += static_cast<int8_t>(byte);
    }
    // Some old writers summed signed bytes.
    return stored == unsignedSum || stored == signedSum;
}

size_t ReadFully(Stream* pStream, uint8_t* pBuffer, size_t size) {
    size_t total = 0;
    while (total < size) {
        const size_t read = pStream->Read(pBuffer + total, size - total);
        if (read == 0) break;
        total += read;
    }
    return total;
}

void ExtractName(const uint8_t* header, char (&name)[CTARArchive::MAX_NAME_LENGTH + 1]) {
    const char* field = reinterpret_cast<const char*>(header + NAME_OFFSET);
    const char* prefix = reinterpret_cast<const char*>(header + PREFIX_OFFSET);
    const size_t nameLength = strnlen(field, NAME_SIZE);
    const size_t prefixLength = strnlen(prefix, PREFIX_SIZE);
    std::string full;
    if (memcmp(header + MAGIC_OFFSET, "ustar", 5) == 0 && prefixLength > 0) {
        full.assign(prefix, prefixLength);
        full += '/';
    }
    full.append(field, nameLength);
    if (full.size() > CTARArchive::MAX_NAME_LENGTH) full.resize(CTARArchive::MAX_NAME_LENGTH);
    memcpy(name, full.data(), full.size());
    name[full.size()] = '\0';
}

} // namespace

uint32_t CTARArchive::CDirectoryEntry::KeyOf(const char* name, size_t length) const {
    CRC32Hash hash;
    hash.AddString(name, length, !m_bCaseSensitive);
    return hash.GetHash();
}

const CTARArchive::CDirectoryEntry* CTARArchive::CDirectoryEntry::FindChild(const char* name, size_t length) const {
    auto range = m_Children.equal_range(KeyOf(name, length));
    for (auto it = range.first; it != range.second; ++it) {
        const std::string& candidate = it->second->m_Name;
        if (candidate.size() != length) continue;
        const bool same = m_bCaseSensitive ? memcmp(candidate.data(), name, length) == 0
                                           : strncasecmp(candidate.data(), name, length) == 0;
        if (same) return it->second.get();
    }
    return nullptr;
}

CTARArchive::CDirectoryEntry* CTARArchive::CDirectoryEntry::FindChild(const char* name, size_t length) {
    return const_cast<CDirectoryEntry*>(static_cast<const CDirectoryEntry*>(this)->FindChild(name, length));
}

CTARArchive::CDirectoryEntry* CTARArchive::CDirectoryEntry::AddChild(const char* name, size_t length, int32_t index,
                                                                     bool directory) {
    auto child = std::make_unique<CDirectoryEntry>(std::string(name, length), index, directory);
    child->m_bCaseSensitive = m_bCaseSensitive;
    CDirectoryEntry* pChild = child.get();
    m_Children.emplace(KeyOf(name, length), std::move(child));
    return pChild;
}

CTARArchive::CTARArchive() : m_Root(std::string(), -1, true) {}

CTARArchive::~CTARArchive() = default;

void CTARArchive::Clear() {
    m_pStream = nullptr;
    m_Entries.clear();
    m_Entries.shrink_to_fit();
    m_Root.m_Children.clear();
}

bool CTARArchive::Read(Stream* pStream) {
    Clear();
    if (!pStream) return false;
    const int64_t length = pStream->GetLength();
    int64_t position = pStream->Tell();
    if (length < 0 || position < 0) return false;

    // The table only grows by members that are really in the stream: each takes at least one block.
    std::vector<CEntry> entries;
    entries.reserve(2);
    uint8_t header[BLOCK_SIZE];
    for (;;) {
        if (!pStream->Seek(position, SEEK_ORIGIN_BEGIN)) return false;
        if (ReadFully(pStream, header, BLOCK_SIZE) < BLOCK_SIZE) break;
        bool empty = true;
        for (uint8_t byte : header) {
            if (byte) {
                empty = false;
                break;
            }
        }
        if (empty) break;

        int64_t size;
        if (!ChecksumMatches(header) || !ParseOctal(header + SIZE_OFFSET, SIZE_SIZE, size)) return false;
        const int64_t dataOffset = position + static_cast<int64_t>(BLOCK_SIZE);
        if (size > length - dataOffset) return false; // a truncated or lying member

        const char type = header[TYPE_OFFSET] ? static_cast<char>(header[TYPE_OFFSET]) : '0';
        if (type == '0' || type == '5') {
            CEntry entry;
            ExtractName(header, entry.m_szName);
            entry.m_Type = type;
            entry.m_Offset = dataOffset;
            entry.m_Size = size;
            if (!ParseOctal(header + MTIME_OFFSET, MTIME_SIZE, entry.m_ModifiedTime)) entry.m_ModifiedTime = 0;
            entries.push_back(entry);
        }
        const int64_t padded = (size + static_cast<int64_t>(BLOCK_SIZE) - 1) / BLOCK_SIZE * BLOCK_SIZE;
        position = dataOffset + padded;
    }

    m_pStream = pStream;
    m_Entries = std::move(entries);
    BuildTree();
    return true;
}

void CTARArchive::BuildTree() {
    for (size_t index = 0; index < m_Entries.size(); ++index) {
        const CEntry& entry = m_Entries[index];
        if (entry.m_Type != '0') continue;
        const char* name = entry.m_szName;
        // A path with an empty component (including a leading or trailing "/") could never be found.
        const size_t nameLength = strlen(name);
        if (nameLength == 0 || name[0] == '/' || name[nameLength - 1] == '/' || strstr(name, "//")) continue;

        CDirectoryEntry* pNode = &m_Root;
        for (;;) {
            const char* slash = strchr(name, '/');
            if (!slash) {
                if (!pNode->FindChild(name, strlen(name))) // the first member of a path wins
                    pNode->AddChild(name, strlen(name), static_cast<int32_t>(index), false);
                break;
            }
            const size_t length = static_cast<size_t>(slash - name);
            CDirectoryEntry* pChild = pNode->FindChild(name, length);
            if (!pChild)
                pChild = pNode->AddChild(name, length, -1, true);
            else if (!pChild->m_bDirectory)
                break; // a file of that name is in the way: leave this member out
            pNode = pChild;
            name = slash + 1;
        }
    }
}

const CTARArchive::CDirectoryEntry* CTARArchive::Find(const char* path) const {
    if (!path || !m_pStream) return nullptr;
    if (*path == '/') ++path;
    const CDirectoryEntry* pNode = &m_Root;
    if (!*path) return pNode;
    for (;;) {
        const char* slash = strchr(path, '/');
        const size_t length = slash ? static_cast<size_t>(slash - path) : strlen(path);
        if (length == 0 || !pNode->m_bDirectory) return nullptr;
        pNode = pNode->FindChild(path, length);
        if (!pNode || !slash) return pNode;
        path = slash + 1;
    }
}

Strong<Stream> CTARArchive::Open(const char* path, bool write) {
    if (write || !m_pStream) return nullptr;
    const CDirectoryEntry* pNode = Find(path);
    if (!pNode || pNode->m_bDirectory) return nullptr;
    const CEntry& entry = m_Entries[static_cast<size_t>(pNode->m_Index)];
    return Strong<Stream>::Adopt(new CStreamRangeStream(m_pStream.Get(), entry.m_Offset, entry.m_Size));
}

bool CTARArchive::Exists(const char* path, bool file, bool directory) {
    const CDirectoryEntry* pNode = Find(path);
    if (!pNode) return false;
    return pNode->m_bDirectory ? directory : file;
}

bool CTARArchive::Enumerate(const char* path, CFileMgr::tEnumerateCallback callback, void* pUser) {
    const CDirectoryEntry* pNode = Find(path);
    if (!pNode || !pNode->m_bDirectory) return true;
    CFileMgr::tDirectoryEntry entry;
    entry.m_Path = path ? (path[0] == '/' ? path + 1 : path) : "";
    for (const auto& child : pNode->m_Children) {
        entry.m_Name = child.second->m_Name;
        entry.m_bIsFile = !child.second->m_bDirectory;
        entry.m_bIsDirectory = child.second->m_bDirectory;
        if (!callback(entry, pUser)) return false;
    }
    return true;
}

} // namespace Tessera3D
