#pragma once
// A read-only POSIX ustar archive mounted as a file manager: the built-in data archive and resources
// packed as archives. Archives are untrusted input; reading never trusts a field beyond the stream.
#include "Engine/FileSystem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tessera3D {

class CTARArchive : public CVirtualFileMgr {
public:
    static constexpr size_t BLOCK_SIZE = 512;
    static constexpr size_t MAX_NAME_LENGTH = 255;

    // One file ('0') or directory ('5') member.
    struct CEntry {
        char m_szName[MAX_NAME_LENGTH + 1];
        char m_Type;
        int64_t m_Offset; // of the data in the archive stream
        int64_t m_Size;
        int64_t m_ModifiedTime;
    };

    // A node of the tree built from the file members' names. Children are keyed by the CRC-32 of their
    // names as they are; names are compared as well, so two names with one CRC-32 stay apart.
    class CDirectoryEntry {
    public:
        CDirectoryEntry(std::string name, int32_t index, bool directory)
            : m_Name(std::move(name)), m_Index(index), m_bDirectory(directory) {}

        const CDirectoryEntry* FindChild(const char* name, size_t length) const;
        CDirectoryEntry* FindChild(const char* name, size_t length);
        CDirectoryEntry* AddChild(const char* name, size_t length, int32_t index, bool directory);

        std::string m_Name;
        int32_t m_Index;     // the entry of a file; -1 for directories
        bool m_bDirectory;
        bool m_bCaseSensitive = true;
        std::unordered_multimap<uint32_t, std::unique_ptr<CDirectoryEntry>> m_Children;

    private:
        uint32_t KeyOf(const char* name, size_t length) const;
    };

    CTARArchive();
    ~CTARArchive() override;

    // Loads an archive from the stream's current position; false (and an empty archive holding no
    // stream) for a bad header checksum, a malformed number field or a member running past the end.
    bool Read(Stream* pStream);

    // Read-only: nothing when write is set. The stream is a window on the archive's stream and keeps
    // it alive by itself.
    Strong<Stream> Open(const char* path, bool write) override;
    Strong<Stream> Create(const char* path) override { return nullptr; }
    bool Exists(const char* path, bool file, bool directory) override;
    bool Enumerate(const char* path, CFileMgr::tEnumerateCallback callback, void* pUser) override;

    size_t GetEntryCount() const { return m_Entries.size(); }
    const CEntry& GetEntry(size_t index) const { return m_Entries[index]; }
    const CDirectoryEntry& GetRoot() const { return m_Root; }
    Stream* GetStream() const { return m_pStream.Get(); }

private:
    void Clear();
    void BuildTree();
    // The node a path names: the root for "" or "/", nothing for a missing node, an empty component or
    // an archive that did not read.
    const CDirectoryEntry* Find(const char* path) const;

    Strong<Stream> m_pStream;
    std::vector<CEntry> m_Entries;
    CDirectoryEntry m_Root;
};

} // namespace Tessera3D
