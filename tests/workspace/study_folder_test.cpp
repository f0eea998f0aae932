// The file helpers under every study: writes through exclusive temporaries, sets that change together, and
// reads that take regular files only.
#include "workspace/study_folder.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/temp_folder.h"

namespace pelarin {
namespace {

using namespace testing;

class FileHelpers : public TempFolderTest {
 protected:
  [[nodiscard]] std::string Told(const std::function<void()>& action) const {
    try {
      action();
    } catch (const FileError& e) {
      return e.what();
    }
    return "";
  }
  // The names in the folder, to see that no temporary stays.
  [[nodiscard]] std::vector<std::string> Names(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// Only a regular file is ever replaced: a link (even dangling) or a FIFO at the name is refused and stays,
// and nothing is written through it or through a link at the old temporary name.
TEST_F(FileHelpers, AWriteReplacesOnlyARegularFileNeverWhatALinkLeadsTo) {
  Write(dir / "target.txt", "outside");
  fs::create_symlink(dir / "target.txt", dir / "link.txt");
  fs::create_symlink(dir / "nowhere", dir / "dangling.txt");
  ASSERT_EQ(::mkfifo(In("fifo.txt").c_str(), 0600), 0);
  fs::create_symlink(dir / "target.txt", dir / "plain.txt.tmp~");  // the old predictable temporary name
  for (const auto& [entry, what] :
       {std::pair{"link.txt", "a link"}, {"dangling.txt", "a link"}, {"fifo.txt", "a FIFO"}}) {
    const std::string name = entry;
    EXPECT_EQ(Told([&] { WriteTextFileAtomically(In(name), "new"); }),
              "cannot write " + In(name) + ": " + what +
                  " of that name is in the way, and only a regular file is ever replaced.");
    EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(dir / name))) << name;
  }
  WriteTextFileAtomically(In("plain.txt"), "new");
  WriteTextFileAtomically(In("plain.txt"), "newer");
  EXPECT_EQ(Read(dir / "plain.txt"), "newer");
  EXPECT_EQ(Read(dir / "target.txt"), "outside");
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
  EXPECT_EQ(Names(dir).size(), 6u) << "no temporary stays";
}

TEST_F(FileHelpers, AFolderAtANameStopsTheWholeSetBeforeAnythingIsWritten) {
  Write(dir / "a.txt", "old a");
  fs::create_directory(dir / "b.txt");
  EXPECT_EQ(Told([&] {
              WriteFilesAsSet({{In("a.txt"), "new a"}, {In("b.txt"), "new b"}});
            }),
            "cannot write " + In("b.txt") +
                ": a folder of that name is in the way, and only a regular file is ever replaced.");
  EXPECT_EQ(Read(dir / "a.txt"), "old a");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a.txt", "b.txt"}));
  // A file at a name the set may not replace: the set takes back the new file it had put in place.
  EXPECT_EQ(Told([&] {
              WriteFilesAsSet({{In("c.txt"), "c"}, {In("a.txt"), "a"}}, Replacing::Refused);
            }),
            "cannot write " + In("a.txt") + ": a file of that name was made meanwhile; it is kept.");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(FileHelpers, AMissingFolderStopsTheSetBeforeAnyRename) {
  Write(dir / "a.txt", "old a");
  EXPECT_EQ(Told([&] {
              WriteFilesAsSet({{In("a.txt"), "x"}, {In("gone/b.txt"), "y"}});
            }),
            "cannot write " + In("gone/b.txt") + ": No such file or directory.");
  EXPECT_EQ(Read(dir / "a.txt"), "old a");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a.txt"}));
}

TEST_F(FileHelpers, AReadOnlyFolderIsTold) {
  if (RunningAsRoot()) GTEST_SKIP() << "permission bits do not stop the superuser";
  fs::create_directory(dir / "locked");
  Write(dir / "locked" / "a.txt", "old");
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(Told([&] { WriteTextFileAtomically(In("locked/a.txt"), "new"); }),
            "cannot write " + In("locked/a.txt") + ": Permission denied.");
  fs::permissions(dir / "locked", fs::perms::owner_all);
  EXPECT_EQ(Read(dir / "locked" / "a.txt"), "old");
}

// A real small disk where the system lets us mount one: a 64 KB tmpfs that fills up, then is made read-only.
TEST_F(FileHelpers, AFullOrReadOnlyDiskKeepsTheOldFiles) {
  const fs::path disk = dir / "disk";
  fs::create_directory(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no tmpfs may be mounted here; the set is tested with a size limit above";
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  const std::string a = (disk / "a.txt").string(), b = (disk / "b.txt").string();
  WriteFilesAsSet({{a, "old a"}, {b, "old b"}});
  const std::string told = Told([&] {
    WriteFilesAsSet({{a, std::string(30'000, 'a')}, {b, std::string(50'000, 'b')}});
  });
  EXPECT_EQ(told, "cannot write " + b + ": No space left on device.");
  EXPECT_EQ(Read(a) + Read(b), "old aold b");
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"a.txt", "b.txt"}));

  ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  EXPECT_EQ(Told([&] { WriteTextFileAtomically(a, "new"); }),
            "cannot write " + a + ": Read-only file system.");
  EXPECT_EQ(Read(a), "old a");
}

TEST_F(FileHelpers, OnlyRegularFilesAreReadAndNeverWaitedOn) {
  Write(dir / "plain.txt", "0123456789");
  ASSERT_EQ(::mkfifo(In("fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  EXPECT_EQ(ReadFileStart(In("plain.txt"), 100).bytes, "0123456789");
  const FileStart cut = ReadFileStart(In("plain.txt"), 4);
  EXPECT_EQ(cut.bytes + (cut.whole ? " whole" : " cut"), "0123 cut");
  EXPECT_TRUE(ReadFileStart(In("plain.txt"), 10).whole);
  EXPECT_EQ(Told([&] { static_cast<void>(ReadFileStart(In("fifo"), 100)); }),
            "cannot read " + In("fifo") + ": it is a FIFO, not a file.");
  EXPECT_EQ(Told([&] { static_cast<void>(ReadFileStart(In("folder"), 100)); }),
            "cannot read " + In("folder") + ": it is a folder, not a file.");
  EXPECT_EQ(Told([&] { static_cast<void>(ReadFileStart("/dev/null", 100)); }),
            "cannot read /dev/null: it is a device, not a file.");
  EXPECT_EQ(Told([&] { static_cast<void>(ReadFileStart(In("gone"), 100)); }),
            "cannot read " + In("gone") + ": the file does not exist.");
}

}  // namespace
}  // namespace pelarin
