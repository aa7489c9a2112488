#pragma once
#include <atomic>
#include <thread>

// While it lives, a thread of its own maps the pages of the sample table just ahead of the
// rows the scanner is writing. A long log fills 31 MB of table, and taking its 7600 page
// faults on the other core shortens the scan; pages are mapped only a little ahead of the
// scanner, so a short log costs no more memory than before. Mapping a page leaves its
// contents alone, so the scanner's writes never race with it.
class SampleTablePrefetch
{
public:
    SampleTablePrefetch();
    ~SampleTablePrefetch();
    SampleTablePrefetch(const SampleTablePrefetch&) = delete;
    SampleTablePrefetch& operator=(const SampleTablePrefetch&) = delete;

private:
    void Run();

    std::atomic<bool> stopping{false};
    std::thread worker;
};
