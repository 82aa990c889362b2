#include "runs/buffers.h"

#include <algorithm>
#include <new>

#include "digests/ed2k.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t MinReadBlock = 64;

#ifndef _WIN32
// The largest buffer this thread has used, kept for its next run. Not on
// Windows: MinGW's thread-local storage may be freed before the destructor of
// a thread-local object runs at the thread's end, which then frees garbage
// (a worker's end faulted so under wine); there the system's allocation
// costs no page faults worth keeping a buffer for.
thread_local std::unique_ptr<TBlockBuffer> t_spareBuffer;
#endif

} // namespace

std::size_t WholeBlocks(std::size_t requested)
{
    const std::size_t block = std::max(requested, MinReadBlock) / MinReadBlock * MinReadBlock;
    return std::min<std::size_t>(block, DonkeyChunkSize);
}

TBlockBuffer::TBlockBuffer(std::size_t size)
    : size(std::max<std::size_t>(size, 1))
{
#ifdef _WIN32
    bytes = static_cast<std::uint8_t *>(VirtualAlloc(nullptr, this->size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!bytes)
        throw std::bad_alloc();
#else
    void *mapped = ::mmap(nullptr, this->size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    bytes = static_cast<std::uint8_t *>(mapped);
#endif
}

TBlockBuffer::~TBlockBuffer()
{
#ifdef _WIN32
    VirtualFree(bytes, 0, MEM_RELEASE);
#else
    ::munmap(bytes, size);
#endif
}

#ifdef _WIN32

TLeasedBuffer::TLeasedBuffer(std::size_t size)
    : m_buffer(std::make_unique<TBlockBuffer>(size))
{
}

TLeasedBuffer::~TLeasedBuffer() = default;

#else

TLeasedBuffer::TLeasedBuffer(std::size_t size)
    : m_buffer(t_spareBuffer && t_spareBuffer->size >= size ? std::move(t_spareBuffer)
                                                            : std::make_unique<TBlockBuffer>(size))
{
}

TLeasedBuffer::~TLeasedBuffer()
{
    if (!t_spareBuffer || t_spareBuffer->size < m_buffer->size)
        t_spareBuffer = std::move(m_buffer);
}

#endif
