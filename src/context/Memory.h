#pragma once

// How the process takes and gives back memory.

// Called first thing in main(): the C library's allocator keeps what a large
// import or export frees for the next one instead of handing it back to the
// system and faulting it in again page by page (a fifth of an import's time
// on a virtual machine).
void TuneAllocator();

// Hands memory freed since back to the system: after a large import or
// export, so that a window left open does not keep it.
void ReleaseFreedMemory();
