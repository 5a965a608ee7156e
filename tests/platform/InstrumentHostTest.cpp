#include "platform/InstrumentHost.h"

#include "support/TestFiles.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(InstrumentHost, TheConfiguredLibraryHearsOfEachNewFile) {
    test::TempDir dir;
    const std::string log = dir.file("told.txt");
    ::setenv("TOLVANE_TEST_HOST_LOG", log.c_str(), 1);
    SharedLibraryInstrumentHost host(TOLVANE_TEST_HOST);
    EXPECT_EQ(host.notifyNewInstrument("/banks/one.gig"), HostNotice::Notified);
    EXPECT_EQ(host.notifyNewInstrument("/banks/two L.gig"), HostNotice::Notified);
    ::unsetenv("TOLVANE_TEST_HOST_LOG");
    const test::Bytes told = test::readBytes(log);
    EXPECT_EQ(std::string(told.begin(), told.end()), "/banks/one.gig\n/banks/two L.gig\n");
}

TEST(InstrumentHost, NoLibraryAMissingOneAndOneWithoutTheEntryAreToldApart) {
    EXPECT_EQ(SharedLibraryInstrumentHost("").notifyNewInstrument("a.gig"),
              HostNotice::NotConfigured);
    EXPECT_EQ(SharedLibraryInstrumentHost("/nowhere/libhost.so").notifyNewInstrument("a.gig"),
              HostNotice::LibraryMissing);
    EXPECT_EQ(SharedLibraryInstrumentHost(TOLVANE_TEST_HOST_WITHOUT_ENTRY).notifyNewInstrument("a"),
              HostNotice::EntryMissing);
}

} // namespace
} // namespace tolvane
