#include "fileio/RiffChunk.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace tolvane {

LittleEndianBytes& LittleEndianBytes::u8(std::uint8_t v) {
    m_bytes.push_back(v);
    return *this;
}

LittleEndianBytes& LittleEndianBytes::u16(std::uint16_t v) {
    m_bytes.push_back(static_cast<std::uint8_t>(v));
    m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}

LittleEndianBytes& LittleEndianBytes::u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
}

LittleEndianBytes& LittleEndianBytes::zeros(std::size_t count) {
    m_bytes.insert(m_bytes.end(), count, 0);
    return *this;
}

LittleEndianBytes& LittleEndianBytes::bytes(std::span<const std::uint8_t> more) {
    m_bytes.insert(m_bytes.end(), more.begin(), more.end());
    return *this;
}

LittleEndianBytes& LittleEndianBytes::fixedText(std::string_view text, std::size_t width,
                                                std::uint8_t pad) {
    const std::string_view kept = cutAtCharacter(text, width);
    m_bytes.insert(m_bytes.end(), kept.begin(), kept.end());
    m_bytes.insert(m_bytes.end(), width - kept.size(), pad);
    return *this;
}

LittleEndianBytes& LittleEndianBytes::terminatedText(std::string_view text) {
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    m_bytes.push_back(0);
    return *this;
}

void LittleEndianBytes::patch32(std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        m_bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string_view cutAtCharacter(std::string_view text, std::size_t width) {
    if (text.size() <= width)
        return text;
    std::size_t end = width;
    // Back up over continuation bytes (10xxxxxx) to the start of the character cut in two.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

RiffChunk RiffChunk::leaf(FourCC id, std::vector<std::uint8_t> body) {
    RiffChunk chunk(id, 0);
    chunk.m_body = std::move(body);
    return chunk;
}

RiffChunk RiffChunk::streamed(FourCC id, std::uint64_t size, Producer produce) {
    RiffChunk chunk(id, 0);
    chunk.m_streamed = true;
    chunk.m_streamSize = size;
    chunk.m_produce = std::move(produce);
    return chunk;
}

RiffChunk RiffChunk::list(FourCC type, std::vector<RiffChunk> children) {
    RiffChunk chunk(makeFourCC("LIST"), type);
    chunk.m_children = std::move(children);
    return chunk;
}

RiffChunk RiffChunk::riff(FourCC form, std::vector<RiffChunk> children) {
    RiffChunk chunk(makeFourCC("RIFF"), form);
    chunk.m_children = std::move(children);
    return chunk;
}

RiffChunk& RiffChunk::add(RiffChunk child) {
    m_children.push_back(std::move(child));
    return m_children.back();
}

std::uint64_t RiffChunk::bodySize() const {
    if (!isList())
        return m_streamed ? m_streamSize : m_body.size();
    std::uint64_t size = 4;
    for (const RiffChunk& child : m_children)
        size += child.totalSize();
    return size;
}

std::uint64_t RiffChunk::totalSize() const {
    const std::uint64_t body = bodySize();
    return 8 + body + (body & 1);
}

std::uint64_t RiffChunk::childOffset(std::size_t index) const {
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < index && i < m_children.size(); ++i)
        offset += m_children[i].totalSize();
    return offset;
}

namespace {

// Thrown by the header collector to stop at the first streamed body.
struct StreamReached {};

void writeHeader(const ByteSink& out, FourCC id, std::uint64_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("a RIFF chunk of " + std::to_string(size) +
                                " bytes does not fit its 32-bit size");
    LittleEndianBytes header;
    header.id(id).u32(static_cast<std::uint32_t>(size));
    out(header.data().data(), header.size());
}

} // namespace

void RiffChunk::writeTo(const ByteSink& out) const {
    const std::uint64_t size = bodySize();
    writeHeader(out, m_id, size);
    if (isList()) {
        LittleEndianBytes type;
        type.id(m_type);
        out(type.data().data(), type.size());
        for (const RiffChunk& child : m_children)
            child.writeTo(out);
    } else if (m_streamed) {
        std::uint64_t produced = 0;
        m_produce([&out, &produced](const void* bytes, std::size_t count) {
            out(bytes, count);
            produced += count;
        });
        if (produced != m_streamSize)
            throw std::length_error("chunk " + fourCCText(m_id) + " produced " +
                                    std::to_string(produced) + " of its " +
                                    std::to_string(m_streamSize) + " bytes");
    } else if (!m_body.empty()) {
        out(m_body.data(), m_body.size());
    }
    if (size & 1) {
        const std::uint8_t pad = 0;
        out(&pad, 1);
    }
}

std::vector<std::uint8_t> RiffChunk::headerBytes() const {
    std::vector<std::uint8_t> bytes;
    RiffChunk copy = *this;
    // Every producer of the copy stops the walk where its body would begin.
    std::function<void(RiffChunk&)> stopStreams = [&stopStreams](RiffChunk& chunk) {
        if (chunk.m_streamed)
            chunk.m_produce = [](const ByteSink&) { throw StreamReached{}; };
        for (RiffChunk& child : chunk.m_children)
            stopStreams(child);
    };
    stopStreams(copy);
    try {
        copy.writeTo([&bytes](const void* p, std::size_t n) {
            const auto* b = static_cast<const std::uint8_t*>(p);
            bytes.insert(bytes.end(), b, b + n);
        });
    } catch (const StreamReached&) {
    }
    return bytes;
}

} // namespace tolvane
