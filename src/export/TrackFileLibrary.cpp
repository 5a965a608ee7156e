#include "export/TrackFileLibrary.h"

#include "document/OutputFiles.h"
#include "export/TrackFile.h"

#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <stdexcept>
#include <sys/mman.h>
#include <vector>

namespace tolvane {
namespace {

// Room for the library's own record, which may be larger than the fields we fill.
constexpr std::size_t kRecordRoom = 64 * 1024;
constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;

} // namespace

SharedTrackFileLibrary::SharedTrackFileLibrary(const std::string& path) {
    if (path.empty())
        return;
    // Without a slash the system would search its own folders for the name.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    m_handle = ::dlopen(ec ? path.c_str() : absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* reason = ::dlerror();
        m_error = reason ? reason : "";
        return;
    }
    m_init = reinterpret_cast<void (*)(void*)>(::dlsym(m_handle, "InitTrkAssets"));
    m_write = reinterpret_cast<int (*)(const char*, void*)>(::dlsym(m_handle, "WriteTrkFile"));
    m_status = m_init && m_write ? TrackLibraryStatus::Loaded : TrackLibraryStatus::EntryMissing;
    if (m_status == TrackLibraryStatus::EntryMissing)
        m_error = std::string("no entry ") + (m_init ? "WriteTrkFile" : "InitTrkAssets");
}

SharedTrackFileLibrary::~SharedTrackFileLibrary() {
    if (m_handle)
        ::dlclose(m_handle);
}

void SharedTrackFileLibrary::initAssets(std::uint8_t* record) {
    if (m_init)
        m_init(record);
}

int SharedTrackFileLibrary::writeFile(const char* fileName, std::uint8_t* record) {
    return m_write ? m_write(fileName, record) : -1;
}

LowAddressBuffer::LowAddressBuffer(std::size_t bytes) : m_size(bytes == 0 ? 1 : bytes) {
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_32BIT
    flags |= MAP_32BIT;
#endif
    // Without MAP_32BIT the hint asks for the low 4 GiB; the check below decides.
    void* hint = reinterpret_cast<void*>(std::uintptr_t{0x10000000});
    void* memory = ::mmap(hint, m_size, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (memory == MAP_FAILED)
        throw std::runtime_error("no memory for the track file's samples");
    if (reinterpret_cast<std::uintptr_t>(memory) + m_size > kFourGiB) {
        ::munmap(memory, m_size);
        throw std::runtime_error("no memory below 4 GiB for the track file's samples");
    }
    m_data = static_cast<std::uint8_t*>(memory);
}

LowAddressBuffer::~LowAddressBuffer() {
    if (m_data)
        ::munmap(m_data, m_size);
}

std::uint32_t LowAddressBuffer::address(std::size_t offset) const {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(m_data) + offset);
}

TrackWriteResult writeTrackFile(TrackFileLibrary& library, const SampleDocument& doc,
                                const KeymapSettings& keymap, const std::string& fileName) {
    refuseNonRegularOutput(fileName);
    TrackWriteResult result;
    const std::vector<std::uint8_t> stream = trackNoteStream(doc, keymap, &result.notesLeftOut);
    const std::vector<TrackSample> samples = trackSamples(doc);
    std::size_t total = stream.size();
    for (const TrackSample& sample : samples)
        total += sample.length;
    LowAddressBuffer memory(total);
    TrackAddresses addresses;
    addresses.noteStream = memory.address(0);
    std::memcpy(memory.data(), stream.data(), stream.size());
    std::size_t at = stream.size();
    for (const TrackSample& sample : samples) {
        addresses.samples.push_back(memory.address(at));
        std::memcpy(memory.data() + at, doc.SampleData.data() + sample.start, sample.length);
        at += sample.length;
    }
    std::vector<std::uint8_t> record(kRecordRoom, 0);
    library.initAssets(record.data());
    fillTrackRecord(record, doc, keymap, samples, static_cast<std::uint32_t>(stream.size()),
                    addresses);
    result.written = library.writeFile(fileName.c_str(), record.data()) == 0;
    return result;
}

} // namespace tolvane
