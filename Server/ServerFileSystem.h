#pragma once
// The server's virtual file system: the executable's folder first, then the data built into the
// program, so a file next to the executable replaces the built-in one of the same name.
#include "Engine/FileSystem.h"

#include <memory>
#include <string>

// The folder (with its trailing '/') is mounted when not empty; the embedded archive always.
std::unique_ptr<Tessera3D::CFileSystem> MakeServerFileSystem(const std::string& executableFolder);
