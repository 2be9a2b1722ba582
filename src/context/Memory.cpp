#include "context/Memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void TuneAllocator()
{
#if defined(__GLIBC__)
    // Blocks up to 32 MB come from the heap (reused) rather than from a
    // mapping of their own that is given back on every free; the heap grows
    // 64 MB at a time and keeps up to 256 MB freed at its top.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TOP_PAD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}

void ReleaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
