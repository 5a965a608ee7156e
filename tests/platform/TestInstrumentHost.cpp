// A tiny sampler host library for the tests: it appends each file name it is told of to the
// file named by TOLVANE_TEST_HOST_LOG.
#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void
NotifyGSAppOfNewInstrument(const char* fileName) {
    const char* log = std::getenv("TOLVANE_TEST_HOST_LOG");
    if (!log)
        return;
    if (std::FILE* out = std::fopen(log, "a")) {
        std::fprintf(out, "%s\n", fileName);
        std::fclose(out);
    }
}
