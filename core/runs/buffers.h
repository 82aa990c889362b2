#pragma once

// Read buffers of the one-file runs.

#include <cstddef>
#include <cstdint>
#include <memory>

// Whole 64-byte blocks, so that the digests compress every read in place; at
// least 64 bytes and never more than a chunk.
std::size_t WholeBlocks(std::size_t requested);

// A read buffer mapped from the system and handed back to it as a whole. From
// the heap, freed blocks of this size would stay in the process (the C library
// raises its mapping threshold once one is freed) and add up over many files.
// Pages start on a cache line and are not touched before the first read.
struct TBlockBuffer
{
    explicit TBlockBuffer(std::size_t size);
    ~TBlockBuffer();
    TBlockBuffer(const TBlockBuffer &) = delete;
    TBlockBuffer &operator=(const TBlockBuffer &) = delete;

    std::size_t size;
    std::uint8_t *bytes = nullptr;
};

// A buffer of at least size bytes, from the thread's spare one when it is large
// enough, given back to it when done: a job that hashes file after file maps
// its memory once (no page faults, no unmapping per file) and holds about
// what one file needs. The spare goes with the thread.
class TLeasedBuffer final
{
public:
    explicit TLeasedBuffer(std::size_t size);
    ~TLeasedBuffer();
    TLeasedBuffer(const TLeasedBuffer &) = delete;
    TLeasedBuffer &operator=(const TLeasedBuffer &) = delete;

    std::uint8_t *Bytes() const { return m_buffer->bytes; }

private:
    std::unique_ptr<TBlockBuffer> m_buffer;
};
