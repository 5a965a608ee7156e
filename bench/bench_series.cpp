// "Save Segments In Loop" on disk: ten minutes of 44.1 kHz stereo cut into 4,000 segment files,
// against the same sample bytes written as one region file by the same writer, in the same
// folder and run. Its cost per file (a name, a header, a rename) must stay small beside the data,
// and it reaches the disk once, not per file.
//
// What a file system charges to create a file varies from disk to disk and from minute to
// minute: on some, creating 4,000 files costs ten times writing their bytes as one, whatever
// writes them. So the run also writes the series' own bytes as 4,000 plain files (open, write,
// close, one sync at the end: nothing the file system can be spared), and the target is the
// series against that floor; the ratio to the one file is printed beside it.
//
//   bench_series [WORK_FOLDER]   (default: the system's temporary folder; give a folder on the
//                                 disk the user saves to)

#include "BenchSupport.h"
#include "processing/SegmentSeries.h"
#include "processing/WriteSampleFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kSegments = 4000;

struct NamedBytes {
    std::string name;
    std::string bytes;
};

std::vector<NamedBytes> readFiles(const fs::path& folder) {
    std::vector<NamedBytes> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files.push_back({entry.path().filename().string(),
                         std::string(std::istreambuf_iterator<char>(in), {})});
    }
    return files;
}

// The floor: the same files written as plainly as the system allows, made durable once.
void writePlainly(const std::vector<NamedBytes>& files, const fs::path& folder) {
    for (const NamedBytes& file : files) {
        const int fd =
            ::open((folder / file.name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, file.bytes.data(), file.bytes.size()) !=
                          static_cast<ssize_t>(file.bytes.size())) {
            std::perror(file.name.c_str());
            std::exit(2);
        }
        ::close(fd);
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    ::syncfs(dir);
    ::close(dir);
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path folder = work / "tolvane-bench-series";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto document = std::make_unique<tolvane::SampleDocument>();
    tolvane::SampleDocument& doc = *document;
    tolvane::bench::makeTenMinutesOfStereo(doc);
    tolvane::bench::sliceEvenly(doc, kSegments);

    // Each run saves under names that do not exist yet, as a first save does: replacing a file
    // makes the file system start writing the new one out at the rename, which a first save and
    // the one region file do not pay. The three kinds take turns, so that a change in the disk's
    // pace during the run falls on each of them alike.
    int files = 0;
    int run = 0;
    const auto freshFolder = [&] {
        const fs::path runFolder = folder / std::to_string(run++);
        fs::create_directories(runFolder);
        return runFolder;
    };
    std::vector<NamedBytes> seriesBytes;
    std::vector<double> series, plain, region;
    for (int i = 0; i < 5; ++i) {
        const fs::path seriesFolder = freshFolder();
        series.push_back(tolvane::bench::medianMilliseconds(1, [&] {
            files = tolvane::writeSegmentSeries(doc, {(seriesFolder / "seg").string(), ".wav"}, 0);
        }));
        if (seriesBytes.empty())
            seriesBytes = readFiles(seriesFolder);
        const fs::path plainFolder = freshFolder();
        plain.push_back(
            tolvane::bench::medianMilliseconds(1, [&] { writePlainly(seriesBytes, plainFolder); }));
        const fs::path regionFolder = freshFolder();
        region.push_back(tolvane::bench::medianMilliseconds(1, [&] {
            tolvane::WriteSampleFile(doc, (regionFolder / "region.wav").string(), 0,
                                     static_cast<std::uint32_t>(doc.DataLength),
                                     tolvane::kWriteBothChannels);
        }));
    }
    fs::remove_all(folder);
    constexpr double kTarget = 1.5;
    const double toFloor = median(series) / median(plain);
    std::printf("series: ten minutes of stereo as %d segment files in %s\n", files, folder.c_str());
    std::printf("  %d files        %9.2f ms\n", files, median(series));
    std::printf("  the same files written plainly %9.2f ms (open, write, close, one sync)\n",
                median(plain));
    std::printf("  one region file %9.2f ms (the same bytes)\n", median(region));
    std::printf("  ratio series / one file: %.2f (this disk's floor: %.2f)\n",
                median(series) / median(region), median(plain) / median(region));
    std::printf("  ratio series / plain files: %.2f (target <= %.1f: %s)\n", toFloor, kTarget,
                toFloor <= kTarget ? "met" : "MISSED");
    return toFloor <= kTarget ? 0 : 1;
}
