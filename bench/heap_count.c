/* Counts the heap allocations of the whole program: malloc and its relatives
 * are replaced by ones that count and then hand over to the C library's own.
 * operator new allocates through malloc, so C++ allocations are counted too,
 * and so are those of libcurl, OpenSSL and every other library. */
#include <errno.h>
#include <stddef.h>

#include "heap_count.h"

void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *memory, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *memory);

static unsigned long allocations;

/* A load and a store rather than a locked add, so that counting costs next to
 * nothing and the timed figures stay honest. Two threads allocating at the
 * same instant may lose a count; the benchmarks allocate on one thread. */
static void counted(void) {
  __atomic_store_n(&allocations, __atomic_load_n(&allocations, __ATOMIC_RELAXED) + 1,
                   __ATOMIC_RELAXED);
}

unsigned long heapAllocationCount(void) { return __atomic_load_n(&allocations, __ATOMIC_RELAXED); }

void *malloc(size_t size) {
  counted();
  return __libc_malloc(size);
}

void *calloc(size_t count, size_t size) {
  counted();
  return __libc_calloc(count, size);
}

void *realloc(void *memory, size_t size) {
  counted();
  return __libc_realloc(memory, size);
}

void free(void *memory) { __libc_free(memory); }

void *memalign(size_t alignment, size_t size) {
  counted();
  return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) {
  counted();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void **out, size_t alignment, size_t size) {
  if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) return EINVAL;
  counted();
  void *memory = __libc_memalign(alignment, size);
  if (memory == NULL && size != 0) return ENOMEM;
  *out = memory;
  return 0;
}
