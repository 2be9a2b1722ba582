#include "context/Memory.h"

#include <cstdlib> // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void TuneAllocator()
{
#if defined(__GLIBC__)
    if (const char *own = std::getenv("GLIBC_TUNABLES"); own && *own)
        return; // the user's own settings win
    // Blocks up to 32 MB (a run of an export, a file read whole) come from the
    // heap and are reused rather than mapped and unmapped each time; the heap
    // grows 16 MB at a time and keeps up to 64 MB freed at its top.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TOP_PAD, 16 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}
