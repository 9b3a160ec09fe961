// Placeholder until the memory manager lands.
#include "foundation/tl_memory.h"
