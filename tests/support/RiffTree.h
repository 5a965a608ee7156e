#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane::test {

// A RIFF file read back independently of the writer: every chunk with its place, size and
// body; lists with their type and children.
struct RiffNode {
    std::string id;
    std::string type;       // for RIFF and LIST
    std::size_t offset = 0; // of the chunk header in the file
    std::uint32_t size = 0;
    std::vector<std::uint8_t> body; // leaves only
    std::vector<RiffNode> children;

    // The n-th child (from 0) with this id, or with this list type for "LIST".
    const RiffNode& child(const std::string& name, int n = 0) const {
        for (const RiffNode& c : children)
            if ((c.id == name || (c.id == "LIST" && c.type == name)) && n-- == 0)
                return c;
        throw std::out_of_range("no chunk " + name + " in " + id + " " + type);
    }
    std::vector<std::string> childNames() const {
        std::vector<std::string> names;
        for (const RiffNode& c : children)
            names.push_back(c.id == "LIST" ? c.type : c.id);
        return names;
    }
    std::uint16_t u16(std::size_t at) const {
        return static_cast<std::uint16_t>(body.at(at) | body.at(at + 1) << 8);
    }
    std::uint32_t u32(std::size_t at) const {
        return std::uint32_t{u16(at)} | std::uint32_t{u16(at + 2)} << 16;
    }
    // The zero-terminated text at a place of the body (up to `width` bytes).
    std::string text(std::size_t at = 0, std::size_t width = std::string::npos) const {
        std::string t;
        for (std::size_t i = at; i < body.size() && i - at < width && body[i] != 0; ++i)
            t += static_cast<char>(body[i]);
        return t;
    }
};

inline RiffNode readRiffNode(const std::vector<std::uint8_t>& file, std::size_t& at,
                             std::size_t end) {
    auto u32 = [&file](std::size_t p) {
        return std::uint32_t{file.at(p)} | std::uint32_t{file.at(p + 1)} << 8 |
               std::uint32_t{file.at(p + 2)} << 16 | std::uint32_t{file.at(p + 3)} << 24;
    };
    RiffNode node;
    node.offset = at;
    node.id.assign(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at) + 4);
    node.size = u32(at + 4);
    const std::size_t bodyStart = at + 8;
    const std::size_t bodyEnd = bodyStart + node.size;
    if (bodyEnd > end)
        throw std::runtime_error("chunk " + node.id + " at " + std::to_string(at) +
                                 " runs past its parent");
    if (node.id == "RIFF" || node.id == "LIST") {
        node.type.assign(file.begin() + static_cast<long>(bodyStart),
                         file.begin() + static_cast<long>(bodyStart) + 4);
        std::size_t p = bodyStart + 4;
        while (p < bodyEnd)
            node.children.push_back(readRiffNode(file, p, bodyEnd));
    } else {
        node.body.assign(file.begin() + static_cast<long>(bodyStart),
                         file.begin() + static_cast<long>(bodyEnd));
    }
    at = bodyEnd + (node.size & 1);
    return node;
}

// The whole file as one tree; throws when a size does not add up.
inline RiffNode readRiffTree(const std::vector<std::uint8_t>& file) {
    std::size_t at = 0;
    RiffNode root = readRiffNode(file, at, file.size());
    if (at != file.size())
        throw std::runtime_error("the RIFF chunk does not end where the file ends");
    return root;
}

} // namespace tolvane::test
