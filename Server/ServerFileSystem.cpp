#include "ServerFileSystem.h"

#include "EmbeddedArchive.h"

#include "Engine/MemoryStream.h"
#include "Engine/TARArchive.h"

using namespace Tessera3D;

std::unique_ptr<CFileSystem> MakeServerFileSystem(const std::string& executableFolder) {
    auto pFileSystem = std::make_unique<CFileSystem>();
    if (!executableFolder.empty()) pFileSystem->Mount(new CMountedPath(executableFolder.c_str()));

    auto pImage = MakeStrong<CMemoryStream>(static_cast<const void*>(g_EmbeddedArchive), g_EmbeddedArchiveSize);
    auto pArchive = std::make_unique<CTARArchive>();
    if (pArchive->Read(pImage.Get())) pFileSystem->Mount(pArchive.release());
    return pFileSystem;
}
