#include "document/MemoryStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace tolvane {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugeBufferFrom = 4 * kHugePage;

} // namespace

void* allocateSampleMemory(std::size_t bytes) {
    void* memory = nullptr;
    if (bytes >= kHugeBufferFrom) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        memory = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
        if (memory)
            ::madvise(memory, rounded, MADV_HUGEPAGE); // a hint: without huge pages it still works
#endif
    } else {
        memory = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void freeSampleMemory(void* memory) noexcept {
    std::free(memory);
}

std::size_t MemoryStream::seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current)
        base = static_cast<std::int64_t>(m_position);
    else if (origin == SeekOrigin::End)
        base = static_cast<std::int64_t>(m_bytes.size());
    const std::int64_t target =
        std::clamp<std::int64_t>(base + offset, 0, static_cast<std::int64_t>(m_bytes.size()));
    m_position = static_cast<std::size_t>(target);
    return m_position;
}

std::size_t MemoryStream::read(void* destination, std::size_t count) {
    const std::size_t available = m_bytes.size() - m_position;
    const std::size_t n = std::min(count, available);
    if (n > 0)
        std::memcpy(destination, m_bytes.data() + m_position, n);
    m_position += n;
    return n;
}

void MemoryStream::write(const void* source, std::size_t count) {
    if (count == 0)
        return;
    if (m_position + count > m_bytes.size())
        m_bytes.resize(m_position + count);
    std::memcpy(m_bytes.data() + m_position, source, count);
    m_position += count;
}

void MemoryStream::setSize(std::size_t newSize) {
    m_bytes.resize(newSize, std::uint8_t{0});
    m_position = std::min(m_position, newSize);
}

void MemoryStream::clear() {
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_position = 0;
}

void MemoryStream::adopt(ByteBuffer&& bytes) {
    m_bytes = std::move(bytes);
    m_position = 0;
}

void MemoryStream::assign(const std::vector<std::uint8_t>& bytes) {
    m_bytes.assign(bytes.begin(), bytes.end());
    m_position = 0;
}

} // namespace tolvane
