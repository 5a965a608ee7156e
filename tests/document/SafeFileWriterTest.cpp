#include "document/SafeFileWriter.h"

#include "document/OutputFiles.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::entriesIn;
using test::TempDir;

void save(const std::string& path, const Bytes& bytes) {
    SafeFileWriter writer(path);
    writer.write(bytes.data(), bytes.size());
    writer.commit();
}

// Root may write to any file, so the writer must look at the file's own permission bits.
TEST(SafeFileWriter, ASaveToAReadOnlyFileIsRefusedAndLeavesItAlone) {
    TempDir dir;
    const std::string path = dir.file("locked.wav");
    test::writeBytes(path, {'o', 'l', 'd'});
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    EXPECT_THROW(save(path, {'n', 'e', 'w'}), FileWriteError);
    EXPECT_EQ(test::readBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left behind";
}

TEST(SafeFileWriter, AFileMadeReadOnlyDuringTheWriteIsNotReplaced) {
    TempDir dir;
    const std::string path = dir.file("late.wav");
    test::writeBytes(path, {'o', 'l', 'd'});
    SafeFileWriter writer(path);
    writer.write("new", 3);
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_THROW(writer.commit(), FileWriteError);
    EXPECT_EQ(test::readBytes(path), (Bytes{'o', 'l', 'd'}));
}

TEST(SafeFileWriter, AReplacedFileKeepsItsPermissions) {
    TempDir dir;
    const std::string path = dir.file("shared.wav");
    test::writeBytes(path, {'o', 'l', 'd'});
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    save(path, {'n', 'e', 'w'});
    EXPECT_EQ(test::readBytes(path), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SafeFileWriter, ASaveThroughSymbolicLinksUpdatesTheFileTheyPointTo) {
    TempDir dir;
    fs::create_directory(dir.path() / "samples");
    const std::string real = dir.file("samples/real.wav");
    test::writeBytes(real, {'o', 'l', 'd'});
    fs::create_symlink("samples/real.wav", dir.path() / "link.wav");
    fs::create_symlink(dir.path() / "link.wav", dir.path() / "link-to-link.wav");

    save(dir.file("link-to-link.wav"), {'n', 'e', 'w'});
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link-to-link.wav"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.wav"));
    EXPECT_EQ(test::readBytes(real), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(entriesIn(dir.path() / "samples"), 1u) << "the temporary file went beside it";
    EXPECT_EQ(entriesIn(dir.path()), 3u);

    // A link to a file not there yet makes the file, and stays a link.
    fs::create_symlink("samples/new.wav", dir.path() / "ahead.wav");
    save(dir.file("ahead.wav"), {'a'});
    EXPECT_TRUE(fs::is_symlink(dir.path() / "ahead.wav"));
    EXPECT_EQ(test::readBytes(dir.file("samples/new.wav")), (Bytes{'a'}));
}

TEST(SafeFileWriter, ALinkToAReadOnlyFileOrALinkLoopIsRefused) {
    TempDir dir;
    const std::string real = dir.file("real.wav");
    test::writeBytes(real, {'o', 'l', 'd'});
    fs::permissions(real, fs::perms::owner_read);
    fs::create_symlink("real.wav", dir.path() / "link.wav");
    EXPECT_THROW(save(dir.file("link.wav"), {'n', 'e', 'w'}), FileWriteError);
    EXPECT_EQ(test::readBytes(real), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.wav"));

    fs::create_symlink("b.wav", dir.path() / "a.wav");
    fs::create_symlink("a.wav", dir.path() / "b.wav");
    EXPECT_THROW(save(dir.file("a.wav"), {'x'}), FileWriteError);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "a.wav"));
}

// Renaming the temporary file over a FIFO, a device or a socket would turn the node into a
// regular file (run as root, over a device node of the system itself). Each is refused, also
// when reached through a link, and stays what it was.
TEST(SafeFileWriter, AnOutputThatIsNotARegularFileIsRefusedAndLeftAsItIs) {
    TempDir dir;
    for (const auto& [kind, name] : test::kNodeKinds) {
        const std::string node = dir.file(std::string("node-") + name);
        if (!test::makeNode(node, kind)) {
            ADD_FAILURE() << "cannot make a " << name << " in the scratch folder";
            continue;
        }
        const std::string link = dir.file(std::string("link-") + name);
        fs::create_symlink(node, link);
        for (const std::string& target : {node, link}) {
            try {
                save(target, {'n', 'e', 'w'});
                ADD_FAILURE() << "a " << name << " was written over";
            } catch (const FileWriteError& e) {
                EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
            }
            EXPECT_TRUE(test::isNode(node, kind)) << name;
        }
        EXPECT_TRUE(fs::is_symlink(link));
    }
    EXPECT_EQ(entriesIn(dir.path()), 8u) << "no temporary file is left behind";
}

TEST(SafeFileWriter, ANodePutInPlaceWhileTheDataIsWrittenIsNotReplaced) {
    TempDir dir;
    const std::string path = dir.file("out.wav");
    test::writeBytes(path, {'o', 'l', 'd'});
    SafeFileWriter writer(path);
    writer.write("new", 3);
    fs::remove(path);
    ASSERT_TRUE(test::makeNode(path, test::NodeKind::Fifo));
    EXPECT_THROW(writer.commit(), FileWriteError);
    EXPECT_TRUE(test::isNode(path, test::NodeKind::Fifo));
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(OutputFiles, TheInputIsKnownUnderAnyNameAndAMissingFolderBeforeAnythingIsWritten) {
    TempDir dir;
    const std::string input = dir.file("loop.wav");
    test::writeBytes(input, {'x'});
    fs::create_symlink("loop.wav", dir.path() / "link.wav");
    EXPECT_TRUE(isSameFile(dir.file("link.wav"), input));
    EXPECT_TRUE(isSameFile(dir.file("./loop.wav"), input));
    EXPECT_FALSE(isSameFile(dir.file("other.wav"), input)) << "not there yet";
    try {
        refuseInputAsOutput(dir.file("link.wav"), input);
        ADD_FAILURE() << "the input was taken as an output";
    } catch (const FileWriteError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(dir.file("link.wav")), std::string::npos) << text;
        EXPECT_NE(text.find(input), std::string::npos) << "both are named: " << text;
    }
    EXPECT_NO_THROW(checkOutputBeforeWriting(dir.file("new.wav"), &input));
    EXPECT_THROW(checkOutputBeforeWriting(dir.file("no/such/folder.wav")), FileWriteError);
    EXPECT_THROW(checkOutputBeforeWriting(dir.path().string()), FileWriteError) << "a folder";
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "checks write nothing";
}

} // namespace
} // namespace tolvane
