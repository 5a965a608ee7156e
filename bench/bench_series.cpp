// "Save Segments In Loop" on disk: ten minutes of 44.1 kHz stereo cut into 4,000 segment files,
// against the same sample bytes written as one region file by the same writer, in the same
// folder and run. The series must take at most 1.5 x the one file: its cost per file (a name, a
// header, a rename) must stay small beside the data, and it reaches the disk once, not per file.
//
//   bench_series [WORK_FOLDER]   (default: the system's temporary folder; give a folder on the
//                                 disk the user saves to)

#include "BenchSupport.h"
#include "processing/SegmentSeries.h"
#include "processing/WriteSampleFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kSegments = 4000;
constexpr std::size_t kFrames = tolvane::bench::kTenMinutesOfFrames;

// The ten minutes with a slice point every 1/4000 of them.
void makeDocument(tolvane::SampleDocument& doc) {
    tolvane::bench::makeTenMinutesOfStereo(doc);
    doc.SliceCount = kSegments - 1;
    for (int i = 1; i < kSegments; ++i)
        doc.SliceTable[i] = {static_cast<std::uint32_t>(kFrames / kSegments * i * 4),
                             100,
                             1,
                             0,
                             tolvane::kChannelMonoOrRight,
                             0};
    doc.SliceTable[kSegments] = {
        static_cast<std::uint32_t>(doc.DataLength), 0, 1, 0, tolvane::kChannelMonoOrRight, 0};
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path folder = work / "tolvane-bench-series";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto document = std::make_unique<tolvane::SampleDocument>();
    tolvane::SampleDocument& doc = *document;
    makeDocument(doc);

    int files = 0;
    const double series = tolvane::bench::medianMilliseconds(3, [&] {
        files = tolvane::writeSegmentSeries(doc, {(folder / "seg").string(), ".wav"}, 0);
    });
    const double region = tolvane::bench::medianMilliseconds(3, [&] {
        tolvane::WriteSampleFile(doc, (folder / "region.wav").string(), 0,
                                 static_cast<std::uint32_t>(doc.DataLength),
                                 tolvane::kWriteBothChannels);
    });
    fs::remove_all(folder);
    constexpr double kTarget = 1.5;
    const double ratio = series / region;
    std::printf("series: ten minutes of stereo as %d segment files in %s\n", files, folder.c_str());
    std::printf("  %d files        %9.2f ms\n", files, series);
    std::printf("  one region file %9.2f ms (the same bytes)\n", region);
    std::printf("  ratio series / one file: %.2f (target <= %.1f: %s)\n", ratio, kTarget,
                ratio <= kTarget ? "met" : "MISSED");
    return ratio <= kTarget ? 0 : 1;
}
