#include "log/SampleTablePrefetch.h"

#include <chrono>
#include <cstdint>
#include <system_error>

#include <sys/mman.h>
#include <unistd.h>

#include "log/SampleTable.h"

// Older C libraries lack the name; kernels before 5.14 reject the advice, and then the
// scanner simply takes its own page faults as it always did.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace
{
const uintptr_t ChunkBytes = 256 * 1024;  // mapped per call
const uintptr_t LeadBytes = 2 * 1024 * 1024; // how far ahead of the scanner pages are mapped
} // namespace

SampleTablePrefetch::SampleTablePrefetch()
{
    try
    {
        worker = std::thread(&SampleTablePrefetch::Run, this);
    }
    catch (const std::system_error&)
    {
        // No thread to spare: the scan goes on without help.
    }
}

SampleTablePrefetch::~SampleTablePrefetch()
{
    stopping.store(true, std::memory_order_relaxed);
    if (worker.joinable())
        worker.join();
}

void SampleTablePrefetch::Run()
{
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0)
        return;
    const uintptr_t page = static_cast<uintptr_t>(pageSize);
    const uintptr_t tableBegin = reinterpret_cast<uintptr_t>(SampleTable.rows);
    const uintptr_t tableEnd = reinterpret_cast<uintptr_t>(SampleTable.rows + RowCapacity);
    // Whole pages inside the table only; the scanner faults in the partial ones at the ends.
    uintptr_t next = (tableBegin + page - 1) & ~(page - 1);
    const uintptr_t end = tableEnd & ~(page - 1);

    while (next < end && !stopping.load(std::memory_order_relaxed))
    {
        const uintptr_t written = tableBegin + static_cast<uintptr_t>(SampleRowsTouched()) * sizeof(SampleRow);
        if (next >= written + LeadBytes)
        {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        const uintptr_t length = end - next < ChunkBytes ? end - next : ChunkBytes;
        if (madvise(reinterpret_cast<void*>(next), length, MADV_POPULATE_WRITE) != 0)
            return;
        next += length;
    }
}
