#include "Engine/FileSystem.h"

#include <string>
#include <unordered_set>

namespace Tessera3D {

namespace {

std::string Absolute(const char* path) {
    if (!path) return "/";
    return path[0] == '/' ? std::string(path) : std::string("/") + path;
}

// Passes each name once across all mounts, with the directory path as the caller asked for it.
struct EnumerateAdapter {
    CFileMgr::tEnumerateCallback m_Callback;
    void* m_pUser;
    const char* m_szPath;
    std::unordered_set<std::string> m_Seen;

    static bool Forward(const CFileMgr::tDirectoryEntry& entry, void* pUser) {
        EnumerateAdapter& self = *static_cast<EnumerateAdapter*>(pUser);
        if (self.m_Seen.count(entry.m_Name)) return true;
        CFileMgr::tDirectoryEntry forwarded = entry;
        forwarded.m_Path = self.m_szPath;
        if (!self.m_Callback(forwarded, self.m_pUser)) return false;
        self.m_Seen.insert(entry.m_Name);
        return true;
    }
};

} // namespace

CFileSystem::~CFileSystem() = default;

void CFileSystem::Mount(CVirtualFileMgr* pManager) { Mount(std::unique_ptr<CVirtualFileMgr>(pManager)); }

void CFileSystem::Mount(std::unique_ptr<CVirtualFileMgr> pManager) {
    if (pManager) m_Mounts.push_back(std::move(pManager));
}

Strong<Stream> CFileSystem::Open(const char* path, bool write) {
    const std::string absolute = Absolute(path);
    for (auto& pMount : m_Mounts) {
        if (Strong<Stream> pStream = pMount->Open(absolute.c_str(), write)) return pStream;
    }
    return nullptr;
}

Strong<Stream> CFileSystem::Create(const char* path) {
    const std::string absolute = Absolute(path);
    for (auto& pMount : m_Mounts) {
        if (Strong<Stream> pStream = pMount->Create(absolute.c_str())) return pStream;
    }
    return nullptr;
}

bool CFileSystem::Exists(const char* path, bool file, bool directory) {
    for (auto& pMount : m_Mounts) {
        if (pMount->Exists(path, file, directory)) return true;
    }
    return false;
}

bool CFileSystem::Enumerate(const char* path, CFileMgr::tEnumerateCallback callback, void* pUser) {
    EnumerateAdapter adapter{callback, pUser, path ? path : "", {}};
    for (auto& pMount : m_Mounts) {
        if (!pMount->Enumerate(path, &EnumerateAdapter::Forward, &adapter)) return false;
    }
    return true;
}

bool CFileSystem::ResolvePath(const char* path, std::string& out) {
    for (auto& pMount : m_Mounts) {
        auto* pDirectory = dynamic_cast<CMountedPath*>(pMount.get());
        if (pDirectory && pDirectory->Exists(path, true, true)) {
            out = pDirectory->Join(path);
            return true;
        }
    }
    return false;
}

} // namespace Tessera3D
