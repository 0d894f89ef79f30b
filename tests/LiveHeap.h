// The heap in use, for the soaks that check it does not grow.
#pragma once

#include <optional>

#if defined(__SANITIZE_ADDRESS__)
#include <cstddef>
// The AddressSanitizer runtime's count of bytes in live allocations (GCC
// ships no header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tpg::test {

// Bytes of heap in use now, where the allocator can tell.
inline std::optional<long long> liveHeapBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
    return static_cast<long long>(mallinfo2().uordblks);
#else
    return std::nullopt;
#endif
}

}  // namespace tpg::test
