#pragma once

// How the process takes memory from the system.

// Called first thing in main(): the C library's allocator keeps what a large
// import or export frees for the next block instead of handing it back to
// the system and faulting it in again page by page.
void TuneAllocator();
