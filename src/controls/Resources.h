#pragma once

// Registers the program's compiled-in images. The resources live in a static
// library, where nothing else would pull them into the program.
void EnsureResources();
