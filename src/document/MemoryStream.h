#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace tolvane {

// Memory for sample buffers. Large buffers are aligned to and backed by huge pages where the
// system offers them: a ten-minute sample then takes a few dozen page faults instead of tens of
// thousands, which is most of the time a load would otherwise spend.
void* allocateSampleMemory(std::size_t bytes);
void freeSampleMemory(void* memory) noexcept;

// An allocator whose new bytes are left as they are: a buffer about to be filled (from a file,
// by a copy) is not cleared first. Value-initialising constructions still zero.
template <typename T> struct UninitialisedAllocator {
    using value_type = T;
    UninitialisedAllocator() = default;
    template <typename U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocateSampleMemory(n * sizeof(T))); }
    void deallocate(T* p, std::size_t) noexcept { freeSampleMemory(p); }
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U> bool operator==(const UninitialisedAllocator<U>&) const noexcept {
        return true;
    }
};

// Bytes that grow without being cleared (resize leaves new bytes unset).
using ByteBuffer = std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>>;

enum class SeekOrigin { Begin, Current, End };

// A growable byte buffer with a read/write position: the storage of the sample data.
// Reads and writes never reach outside the buffer; writes past the end grow it.
class MemoryStream {
public:
    std::size_t size() const { return m_bytes.size(); }
    std::size_t position() const { return m_position; }

    // Moves the position; the result is clamped to 0..size() and returned.
    std::size_t seek(std::int64_t offset, SeekOrigin origin);
    // Copies up to count bytes from the position; returns how many were copied.
    std::size_t read(void* destination, std::size_t count);
    // Writes count bytes at the position, growing the buffer as needed.
    void write(const void* source, std::size_t count);
    // New bytes are zero. The position is kept within the new size.
    void setSize(std::size_t newSize);
    void clear();
    // Takes over a filled buffer without copying it.
    void adopt(ByteBuffer&& bytes);
    // Copies the bytes in.
    void assign(const std::vector<std::uint8_t>& bytes);

    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }

private:
    ByteBuffer m_bytes;
    std::size_t m_position = 0;
};

} // namespace tolvane
