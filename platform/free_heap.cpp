#include "platform/free_heap.h"

#include <malloc.h>

void ReturnFreeHeap()
{
    malloc_trim(0);
}
