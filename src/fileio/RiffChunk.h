#pragma once

#include "fileio/FourCC.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace tolvane {

// Bytes put together in the order of a little-endian file record.
class LittleEndianBytes {
public:
    LittleEndianBytes& u8(std::uint8_t v);
    LittleEndianBytes& u16(std::uint16_t v);
    LittleEndianBytes& u32(std::uint32_t v);
    LittleEndianBytes& id(FourCC v) { return u32(v); }
    LittleEndianBytes& zeros(std::size_t count);
    LittleEndianBytes& bytes(std::span<const std::uint8_t> more);
    // The text in exactly `width` bytes: cut there (never inside a UTF-8 character) or padded
    // with `pad` bytes.
    LittleEndianBytes& fixedText(std::string_view text, std::size_t width, std::uint8_t pad = 0);
    // The text and its terminating zero.
    LittleEndianBytes& terminatedText(std::string_view text);
    // Overwrites four bytes written earlier (a value known only later).
    void patch32(std::size_t at, std::uint32_t v);

    std::size_t size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& data() const { return m_bytes; }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// The longest start of `text` that fits in `width` bytes without splitting a UTF-8 character.
std::string_view cutAtCharacter(std::string_view text, std::size_t width);

// Where the bytes of a RIFF file go as they are produced.
using ByteSink = std::function<void(const void* bytes, std::size_t count)>;

// One chunk of a RIFF file: a leaf whose body is bytes or a stream of known length, or a
// "RIFF"/"LIST" chunk with its form type and children. Sizes are worked out from the tree, so
// a file of any length is written front to back in one pass, its sample data streamed as it
// is produced; an odd body gets its pad byte. The one chunk writer of every RIFF file written:
// WAV files and sound banks alike.
class RiffChunk {
public:
    // Writes exactly `size` body bytes to the sink.
    using Producer = std::function<void(const ByteSink& out)>;

    static RiffChunk leaf(FourCC id, std::vector<std::uint8_t> body);
    static RiffChunk leaf(FourCC id, LittleEndianBytes body) { return leaf(id, body.take()); }
    static RiffChunk streamed(FourCC id, std::uint64_t size, Producer produce);
    static RiffChunk list(FourCC type, std::vector<RiffChunk> children = {});
    static RiffChunk riff(FourCC form, std::vector<RiffChunk> children = {});

    RiffChunk& add(RiffChunk child);
    const std::vector<RiffChunk>& children() const { return m_children; }

    // The value of the size field: the body (with a list's type) without the pad byte.
    std::uint64_t bodySize() const;
    // Header, body and pad byte.
    std::uint64_t totalSize() const;
    // Where child `index` starts, counted from the first byte after the list's type.
    std::uint64_t childOffset(std::size_t index) const;
    // The header bytes before the first streamed body (all of a chunk without one).
    std::vector<std::uint8_t> headerBytes() const;

    // Writes the chunk; throws std::length_error when a size does not fit 32 bits.
    void writeTo(const ByteSink& out) const;

private:
    RiffChunk(FourCC id, FourCC type) : m_id(id), m_type(type) {}
    bool isList() const { return m_type != 0; }

    FourCC m_id;
    FourCC m_type; // form or list type; 0 for a leaf
    std::vector<std::uint8_t> m_body;
    bool m_streamed = false;
    std::uint64_t m_streamSize = 0;
    Producer m_produce;
    std::vector<RiffChunk> m_children;
};

} // namespace tolvane
