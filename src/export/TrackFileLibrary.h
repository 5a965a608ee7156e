#pragma once

#include "document/SampleDocument.h"
#include "slicing/Keymap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvane {

// The track-file library, delivered apart from the program as a shared library with two entry
// points (C calling convention):
//   void InitTrkAssets(void* record);                 fills the record with its defaults
//   int WriteTrkFile(const char* fileName, void* record);  writes the file; 0 when it did
// The command line and the window both reach it through writeTrackFile below.
class TrackFileLibrary {
public:
    virtual ~TrackFileLibrary() = default;
    virtual void initAssets(std::uint8_t* record) = 0;
    virtual int writeFile(const char* fileName, std::uint8_t* record) = 0;
};

enum class TrackLibraryStatus { Loaded, CannotLoad, EntryMissing };

// The real one: the library loaded from a path for as long as the object lives. A relative path
// (a bare file name too) is taken from the current folder, not searched for as the system's
// libraries are.
class SharedTrackFileLibrary : public TrackFileLibrary {
public:
    explicit SharedTrackFileLibrary(const std::string& path);
    ~SharedTrackFileLibrary() override;
    SharedTrackFileLibrary(const SharedTrackFileLibrary&) = delete;
    SharedTrackFileLibrary& operator=(const SharedTrackFileLibrary&) = delete;

    TrackLibraryStatus status() const { return m_status; }
    // Why it could not be loaded, as the system says it (empty when it was, or no path given).
    const std::string& error() const { return m_error; }
    void initAssets(std::uint8_t* record) override;
    int writeFile(const char* fileName, std::uint8_t* record) override;

private:
    void* m_handle = nullptr;
    void (*m_init)(void*) = nullptr;
    int (*m_write)(const char*, void*) = nullptr;
    TrackLibraryStatus m_status = TrackLibraryStatus::CannotLoad;
    std::string m_error;
};

// Memory whose addresses fit the record's 32-bit address fields: the note stream and the
// samples are copied there for the library to read.
class LowAddressBuffer {
public:
    // Throws std::runtime_error when the system gives no such memory.
    explicit LowAddressBuffer(std::size_t bytes);
    ~LowAddressBuffer();
    LowAddressBuffer(const LowAddressBuffer&) = delete;
    LowAddressBuffer& operator=(const LowAddressBuffer&) = delete;
    std::uint8_t* data() { return m_data; }
    std::uint32_t address(std::size_t offset) const;

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

struct TrackWriteResult {
    bool written = false;
    int notesLeftOut = 0;
};

// Builds the note stream and the record for the loop between the locators (a mono sample that
// trackRefusal accepts) and has the library write `fileName`. The library writes the file
// itself, so an existing `fileName` that is not a regular file is refused first
// (FileWriteError).
TrackWriteResult writeTrackFile(TrackFileLibrary& library, const SampleDocument& doc,
                                const KeymapSettings& keymap, const std::string& fileName);

inline constexpr const char* kMsgTrackLibraryMissing =
    "Error #1 initialising KQ.DLL file! Reinstall WaveTolvane.";
inline constexpr const char* kMsgTrackLibraryEntryMissing =
    "Error #2 initialising KQ.DLL file! Reinstall WaveTolvane.";

} // namespace tolvane
