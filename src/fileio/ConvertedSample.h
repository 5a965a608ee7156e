#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane {

// A sample file the program's own reader refuses but can take after a conversion to 16 bits:
// 8-, 24- and 32-bit integer and 32- and 64-bit float WAV and AIFF, and FLAC, mono or stereo,
// read through libsndfile.
struct ConvertibleFormat {
    std::string
        description; // "8-bit", "24-bit", "32-bit float", "64-bit float", "FLAC 24-bit", ...
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint64_t frames = 0;
};

// What libsndfile makes of a file: a format to convert, or why there is none (its own error
// for a file it cannot read, or what is beyond the document: more than two channels, ...).
struct ConvertibleReport {
    std::optional<ConvertibleFormat> format;
    std::string refusal;
};

// Looks at a file (a regular file only: a FIFO or a device is never opened).
ConvertibleReport convertibleFormat(const std::string& fileName);

// "This file is 24-bit; WaveTolvane edits 16-bit samples. Convert it?"
std::string conversionQuestion(const ConvertibleFormat& format);

// The seed of the dither noise: a conversion of one file always gives the same samples.
inline constexpr std::uint32_t kDitherSeed = 0x5EED;

// Reads a convertible file into the document's format and sample data as 16-bit samples:
// sources finer than 16 bits are rounded with triangular (TPDF) dither of one step either way,
// so that every sample lies within one step of the source rounded to 16 bits; 8- and 16-bit
// sources convert exactly. Throws EWavParserError with libsndfile's reason for a file it cannot
// read, a damaged one (a FLAC stream that breaks off, say) or one too long for the document;
// the document is then untouched.
void loadConvertedSample(SampleDocument& doc, const std::string& fileName,
                         std::uint32_t ditherSeed = kDitherSeed);

// A converted sample has nothing on disk to save to: the document keeps its file's name without
// the folder and no date, so that Save asks for a name and never writes 16 bits over the source.
void detachFromSourceFile(SampleDocument& doc);

// A converted sample becomes the document as a load does, detached from its source file.
void adoptConvertedSample(SampleDocument& doc, SampleDocument&& converted,
                          const std::string& fileName);

} // namespace tolvane
