#pragma once
// The ustar image of the data folder, built into the program (target EmbeddedArchive).
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

extern const unsigned char g_EmbeddedArchive[];
extern const size_t g_EmbeddedArchiveSize;

#ifdef __cplusplus
}
#endif
