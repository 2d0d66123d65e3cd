// Replaces the global allocation functions of the test program with ones
// that count, so a test can tell that a call allocated nothing.
#include <atomic>
#include <cstdlib>
#include <new>

#include "fake_host.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

long pingwell::testing::allocationCount() { return allocations.load(std::memory_order_relaxed); }
