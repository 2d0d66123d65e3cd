#pragma once
/* Heap allocations of the whole program so far (see heap_count.c). */
#ifdef __cplusplus
extern "C" {
#endif

unsigned long heapAllocationCount(void);

#ifdef __cplusplus
}
#endif
