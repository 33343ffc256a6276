#include "Engine/FileSystem.h"

#include "Engine/StandardStream.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace Tessera3D {

Strong<Stream> CFileMgr::Create(const char* path) {
    if (!path || !*path) return nullptr;
    const std::string full(path);
    const size_t last = full.find_last_of("/\\");
    if (last != std::string::npos && last > 0) {
        const std::string directory = full.substr(0, last);
        for (size_t i = 1; i < directory.size(); ++i) {
            if (directory[i] == '/' || directory[i] == '\\') mkdir(directory.substr(0, i).c_str(), 0755);
        }
        mkdir(directory.c_str(), 0755);
    }
    FILE* pFile = fopen(path, "wb+");
    if (!pFile) return nullptr;
    return Strong<Stream>::Adopt(new CStandardStream(pFile));
}

} // namespace Tessera3D
