#pragma once
// The virtual file system: an ordered list of mounts (directories on disk, read-only archives) under
// '/'-separated paths. A leading '/' is optional for every manager.
#include "Engine/References.h"
#include "Engine/Stream.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Tessera3D {

class CFileMgr {
public:
    // What an enumeration reports for each entry of a directory.
    struct tDirectoryEntry {
        std::string m_Path; // the directory being listed
        std::string m_Name;
        bool m_bIsFile = false;
        bool m_bIsDirectory = false;
    };
    // Returning false stops the enumeration.
    typedef bool (*tEnumerateCallback)(const tDirectoryEntry& entry, void* pUser);

    // Creates or truncates a disk file for reading and writing, first making every directory on its
    // way (mode 0755; failures there are ignored). Nothing when the file cannot be opened.
    static Strong<Stream> Create(const char* path);
};

// A file manager: one kind of mount.
class CVirtualFileMgr {
public:
    virtual ~CVirtualFileMgr() = default;

    // A new stream for reading, or for reading and writing when write is true; nothing if it cannot.
    virtual Strong<Stream> Open(const char* path, bool write) = 0;
    // Creates or truncates a file; nothing on failure.
    virtual Strong<Stream> Create(const char* path) = 0;
    // True if path names a regular file and file is set, or a directory and directory is set.
    virtual bool Exists(const char* path, bool file, bool directory) = 0;
    // Calls callback for each entry of the directory path; false as soon as a callback returned false.
    virtual bool Enumerate(const char* path, CFileMgr::tEnumerateCallback callback, void* pUser) = 0;

    // Enumerate with any callable taking the entry and returning bool.
    template <typename F>
    bool ForEachEntry(const char* path, F&& function) {
        return Enumerate(
            path, [](const CFileMgr::tDirectoryEntry& entry, void* pUser) { return (*static_cast<F*>(pUser))(entry); },
            &function);
    }
};

// A directory on disk.
class CMountedPath : public CVirtualFileMgr {
public:
    explicit CMountedPath(const char* base) : m_Base(base ? base : "") {}

    Strong<Stream> Open(const char* path, bool write) override;
    Strong<Stream> Create(const char* path) override;
    bool Exists(const char* path, bool file, bool directory) override;
    bool Enumerate(const char* path, CFileMgr::tEnumerateCallback callback, void* pUser) override;

    const std::string& GetBase() const { return m_Base; }
    // The disk path of a virtual path: the base, a "/" unless the base ends with a slash or
    // backslash, then the path without its leading "/". An empty path gives the base; an empty base
    // leaves the path unchanged.
    std::string Join(const char* path) const;

private:
    std::string m_Base;
};

// The ordered mounts, owned. The first mount that can answer wins, so an earlier mount overrides the
// same path in a later one.
class CFileSystem : public CVirtualFileMgr {
public:
    CFileSystem() = default;
    ~CFileSystem() override;
    CFileSystem(const CFileSystem&) = delete;
    CFileSystem& operator=(const CFileSystem&) = delete;

    // Appends a mount and takes ownership of it.
    void Mount(CVirtualFileMgr* pManager);
    void Mount(std::unique_ptr<CVirtualFileMgr> pManager);
    size_t GetMountCount() const { return m_Mounts.size(); }
    CVirtualFileMgr* GetMount(size_t index) const { return index < m_Mounts.size() ? m_Mounts[index].get() : nullptr; }

    Strong<Stream> Open(const char* path, bool write) override;
    Strong<Stream> Create(const char* path) override;
    bool Exists(const char* path, bool file, bool directory) override;
    // Every mount in order; a name already reported by an earlier mount is skipped, and each entry
    // carries the path as asked.
    bool Enumerate(const char* path, CFileMgr::tEnumerateCallback callback, void* pUser) override;

    // The disk location of a path: the first directory mount in which it exists as a file or a
    // directory. False when there is none.
    bool ResolvePath(const char* path, std::string& out);

private:
    std::vector<std::unique_ptr<CVirtualFileMgr>> m_Mounts;
};

} // namespace Tessera3D
