#include "Engine/FileSystem.h"

#include "Engine/StandardStream.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace Tessera3D {

std::string CMountedPath::Join(const char* path) const {
    if (!path) path = "";
    if (m_Base.empty()) return path;
    if (!*path) return m_Base;
    std::string joined = m_Base;
    const char last = joined.back();
    if (last != '/' && last != '\\') joined += '/';
    joined += path[0] == '/' ? path + 1 : path;
    return joined;
}

Strong<Stream> CMountedPath::Open(const char* path, bool write) {
    const std::string joined = Join(path);
    FILE* pFile = fopen(joined.c_str(), write ? "r+b" : "rb");
    if (!pFile) return nullptr;
    // fopen happily opens a directory for reading; it is not a file to stream.
    struct stat status;
    if (fstat(fileno(pFile), &status) != 0 || S_ISDIR(status.st_mode)) {
        fclose(pFile);
        return nullptr;
    }
    return Strong<Stream>::Adopt(new CStandardStream(pFile));
}

Strong<Stream> CMountedPath::Create(const char* path) { return CFileMgr::Create(Join(path).c_str()); }

bool CMountedPath::Exists(const char* path, bool file, bool directory) {
    struct stat status;
    if (stat(Join(path).c_str(), &status) != 0) return false;
    if (S_ISDIR(status.st_mode)) return directory;
    if (S_ISREG(status.st_mode)) return file;
    return false;
}

bool CMountedPath::Enumerate(const char* path, CFileMgr::tEnumerateCallback callback, void* pUser) {
    const std::string directory = Join(path);
    DIR* pDirectory = opendir(directory.c_str());
    if (!pDirectory) return true;
    std::string prefix = directory;
    if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\') prefix += '/';

    bool result = true;
    CFileMgr::tDirectoryEntry entry;
    entry.m_Path = directory;
    while (const dirent* pEntry = readdir(pDirectory)) {
        if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0) continue;
        struct stat status;
        if (stat((prefix + pEntry->d_name).c_str(), &status) != 0) continue;
        entry.m_Name = pEntry->d_name;
        entry.m_bIsFile = S_ISREG(status.st_mode);
        entry.m_bIsDirectory = S_ISDIR(status.st_mode);
        if (!callback(entry, pUser)) {
            result = false;
            break;
        }
    }
    closedir(pDirectory);
    return result;
}

} // namespace Tessera3D
