// Feeds arbitrary bytes to the acceptance test and the data load, read both as RIFF/WAVE
// and as AIFF. Any crash, sanitizer report or escaped exception is a finding.
#include "fileio/SampleFileReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// A load allocates what the header declares; keep the fuzzer's memory bounded.
constexpr std::uint32_t kLargestLoad = 1u << 24;

std::string scratchPath(const char* extension) {
    return "/tmp/tolvane-fuzz-" + std::to_string(::getpid()) + extension;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

void exercise(const std::string& path) {
    const tolvane::AcceptanceReport report = tolvane::testSampleFile(path);
    if (report.result != tolvane::Acceptance::Accepted || report.info.dataLength > kLargestLoad)
        return;
    tolvane::SampleDocument doc;
    tolvane::loadSampleFile(doc, path); // an accepted header must load
    if (doc.SampleData.size() != std::size_t(doc.DataLength) + tolvane::kSpareBytes)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const char* extension : {".wav", ".aif"}) {
        const std::string path = scratchPath(extension);
        writeFile(path, data, size);
        exercise(path);
        ::unlink(path.c_str());
    }
    return 0;
}
