#include "AllocationCounter.h"

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SAYLOOM_COUNT_ALLOCATIONS 0
#else
#define SAYLOOM_COUNT_ALLOCATIONS 1
#endif

namespace {

// Per thread and constant-initialised, so touching them inside malloc allocates nothing.
thread_local std::uint64_t allocations = 0;
thread_local int activeCounters = 0;

} // namespace

#if SAYLOOM_COUNT_ALLOCATIONS
// Replacements of the C allocator that count and forward to glibc's own. operator new and Qt's
// containers end up here too; only over-aligned allocations bypass the count.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size) {
    allocations += activeCounters > 0 ? 1 : 0;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    allocations += activeCounters > 0 ? 1 : 0;
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    allocations += activeCounters > 0 ? 1 : 0;
    return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}
#endif

namespace sayloom::testing {

bool AllocationCounter::available() { return SAYLOOM_COUNT_ALLOCATIONS != 0; }

AllocationCounter::AllocationCounter() : start_(allocations) { ++activeCounters; }

AllocationCounter::~AllocationCounter() { --activeCounters; }

std::uint64_t AllocationCounter::count() const { return allocations - start_; }

} // namespace sayloom::testing
