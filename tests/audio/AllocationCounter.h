#pragma once

#include <cstdint>

namespace sayloom::testing {

// Counts the heap allocations (malloc, calloc, realloc, operator new, Qt's containers) made by the
// calling thread while the counter lives. The counting replaces malloc, so it is unavailable under
// the sanitizers, which bring their own.
class AllocationCounter {
public:
    static bool available();

    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    std::uint64_t count() const;

private:
    std::uint64_t start_;
};

} // namespace sayloom::testing
