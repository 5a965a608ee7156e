// A track-file library for the tests: "InitTrkAssets" fills the record with 0xEE (its
// "defaults"); "WriteTrkFile" writes, instead of a track file, the first 2048 bytes of the
// record, then the note stream and every sample it finds through the record's 32-bit addresses.
// A file name containing "refuse" makes it fail.
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

std::uint32_t get32(const unsigned char* record, int at) {
    std::uint32_t value;
    std::memcpy(&value, record + at, 4);
    return value;
}

const unsigned char* at(std::uint32_t address) {
    return reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(address));
}

} // namespace

extern "C" void InitTrkAssets(void* record) {
    std::memset(record, 0xEE, 2048);
}

extern "C" int WriteTrkFile(const char* fileName, void* recordBytes) {
    if (std::strstr(fileName, "refuse"))
        return 5;
    const auto* record = static_cast<const unsigned char*>(recordBytes);
    std::FILE* file = std::fopen(fileName, "wb");
    if (!file)
        return 1;
    std::fwrite(record, 1, 2048, file);
    std::fwrite(at(get32(record, 264)), 1, get32(record, 268), file);
    const std::uint32_t samples = get32(record, 276);
    for (std::uint32_t k = 1; k <= samples; ++k)
        std::fwrite(at(get32(record, 788 + 4 * k)), 1, get32(record, 276 + 4 * k), file);
    return std::fclose(file) == 0 ? 0 : 1;
}
