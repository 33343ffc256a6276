// Reads arbitrary bytes as a TAR archive, then walks the tree and reads every member.
// The first input byte picks a mode: odd values repair every header checksum first, so the parser
// behind the checksum gets explored too; the rest of the input is the archive.
#include "Engine/MemoryStream.h"
#include "Engine/TARArchive.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace Tessera3D;

namespace {

// Writes a valid checksum into each header block the reader would visit (sizes read leniently).
void RepairChecksums(std::vector<uint8_t>& bytes) {
    size_t position = 0;
    while (position + 512 <= bytes.size()) {
        uint8_t* header = bytes.data() + position;
        memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (size_t i = 0; i < 512; ++i) sum += header[i];
        char text[8];
        snprintf(text, sizeof(text), "%06o", sum & 0777777);
        memcpy(header + 148, text, 7);
        uint64_t size = 0;
        for (size_t i = 124; i < 136 && header[i] >= '0' && header[i] <= '7'; ++i) size = size * 8 + (header[i] - '0');
        position += 512 + (size + 511) / 512 * 512;
    }
}

void Walk(CTARArchive& archive, const std::string& path, int depth) {
    if (depth > 200) return;
    std::vector<CFileMgr::tDirectoryEntry> entries;
    archive.ForEachEntry(path.c_str(), [&](const CFileMgr::tDirectoryEntry& entry) {
        entries.push_back(entry);
        return true;
    });
    for (const CFileMgr::tDirectoryEntry& entry : entries) {
        const std::string child = path.empty() ? entry.m_Name : path + "/" + entry.m_Name;
        archive.Exists(child.c_str(), true, true);
        if (entry.m_bIsDirectory) {
            Walk(archive, child, depth + 1);
            continue;
        }
        Strong<Stream> pStream = archive.Open(child.c_str(), false);
        if (!pStream) __builtin_trap(); // a listed file must open
        uint8_t buffer[4096];
        int64_t total = 0;
        while (size_t read = pStream->Read(buffer, sizeof(buffer))) total += static_cast<int64_t>(read);
        if (total != pStream->GetLength()) __builtin_trap(); // members never run past the stream
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<uint8_t> bytes(data + 1, data + size);
    if (data[0] & 1) RepairChecksums(bytes);
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(bytes.data()), bytes.size());
    CTARArchive archive;
    if (!archive.Read(pStream.Get())) return 0;
    Walk(archive, "", 0);
    for (size_t i = 0; i < archive.GetEntryCount(); ++i) {
        const CTARArchive::CEntry& entry = archive.GetEntry(i);
        if (strnlen(entry.m_szName, sizeof(entry.m_szName)) > CTARArchive::MAX_NAME_LENGTH) __builtin_trap();
        archive.Open(entry.m_szName, false);
        archive.Open(entry.m_szName, true);
    }
    return 0;
}
