#pragma once
// The bytes this process holds on the heap now, small blocks and large ones alike. Under AddressSanitizer the
// C library's allocator is not the one in use, so the sanitizer's own count stands in for it.

#include <QtGlobal>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NAVIX_HEAP_OF_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define NAVIX_HEAP_OF_SANITIZER 1
#endif

#ifdef NAVIX_HEAP_OF_SANITIZER
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

namespace navix {

inline qint64 HeapInUse()
{
#ifdef NAVIX_HEAP_OF_SANITIZER
    return static_cast<qint64>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
#endif
}

} // namespace navix
