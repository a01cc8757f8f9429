// The file manager, whole-file reads and writes, and the standard folders,
// on real files in a temporary directory.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
#include <filesystem>
#include <optional>

#include "kit/foundation/data_file.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

namespace fs = std::filesystem;

// A fresh directory removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kit-fm-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

Ref<FileManager> fm() { return FileManager::defaultManager(); }

std::string read(const std::string& path) {
  auto d = dataWithContentsOfFile(path);
  return d ? d->toString() : "<missing>";
}

void write(const std::string& path, std::string_view text) { ASSERT_TRUE(writeStringToFile(text, path, false)); }

bool underlyingIs(const Ref<Error>& e, int errnum) {
  auto u = e ? e->underlyingError() : nullptr;
  return u && u->domain() == POSIXErrorDomain && u->code() == errnum;
}

TEST(FileManager, DirectoriesAndExistence) {
  TempDir dir;
  Ref<Error> error;
  EXPECT_TRUE(fm()->createDirectoryAtPath(dir / "a/b/c", true, nullptr, &error));
  bool isDirectory = false;
  EXPECT_TRUE(fm()->fileExistsAtPath(dir / "a/b/c", &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_TRUE(fm()->createDirectoryAtPath(dir / "a/b/c", true));  // already there: fine

  EXPECT_FALSE(fm()->createDirectoryAtPath(dir / "a/b/c", false, nullptr, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), CocoaErrorDomain);
  EXPECT_EQ(error->code(), FileWriteFileExistsError);
  EXPECT_EQ(describe(Id(error->userInfo())[FilePathErrorKey]), dir / "a/b/c");

  EXPECT_FALSE(fm()->createDirectoryAtPath(dir / "missing/child", false, nullptr, &error));
  EXPECT_EQ(error->code(), FileNoSuchFileError);
  EXPECT_TRUE(underlyingIs(error, ENOENT));
  EXPECT_EQ(error->localizedDescription(), "The folder \u201cmissing\u201d doesn\u2019t exist.");

  write(dir / "file", "x");
  EXPECT_FALSE(fm()->createDirectoryAtPath(dir / "file/sub", true, nullptr, &error));
  EXPECT_FALSE(fm()->createDirectoryAtPath(dir / "file", true, nullptr, &error));
  EXPECT_EQ(error->code(), FileWriteFileExistsError);
  EXPECT_TRUE(fm()->fileExistsAtPath(dir / "file", &isDirectory));
  EXPECT_FALSE(isDirectory);

  EXPECT_TRUE(fm()->createDirectoryAtPath(dir / "private", false, dict({{FilePosixPermissions, 0700}})));
  EXPECT_EQ(Id(fm()->attributesOfItemAtPath(dir / "private"))[FilePosixPermissions]->description(), "448");

  // A link to nothing does not exist; a link to a folder is a folder.
  ASSERT_TRUE(fm()->createSymbolicLinkAtPath(dir / "dangling", dir / "nowhere"));
  EXPECT_FALSE(fm()->fileExistsAtPath(dir / "dangling"));
  ASSERT_TRUE(fm()->createSymbolicLinkAtPath(dir / "toA", dir / "a"));
  EXPECT_TRUE(fm()->fileExistsAtPath(dir / "toA", &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_EQ(fm()->destinationOfSymbolicLinkAtPath(dir / "toA")->utf8(), dir / "a");
  EXPECT_FALSE(fm()->fileExistsAtPath(""));
  EXPECT_FALSE(fm()->fileExistsAtPath(Ref<String>()));
  EXPECT_TRUE(fm()->fileExistsAtPath(str(dir / "file")));
}

TEST(FileManager, FilesContentsAndAttributes) {
  TempDir dir;
  EXPECT_TRUE(fm()->createFileAtPath(dir / "f.txt", Data::make("hello")));
  EXPECT_EQ(fm()->contentsAtPath(dir / "f.txt")->toString(), "hello");
  EXPECT_TRUE(fm()->createFileAtPath(dir / "f.txt", Data::make("replaced")));
  EXPECT_EQ(read(dir / "f.txt"), "replaced");
  EXPECT_TRUE(fm()->createFileAtPath(dir / "empty", nullptr, dict({{FilePosixPermissions, 0600}})));
  EXPECT_EQ(fm()->contentsAtPath(dir / "empty")->length(), 0u);
  EXPECT_EQ(fm()->contentsAtPath(dir / "nope"), nullptr);
  EXPECT_EQ(fm()->contentsAtPath(dir.path()), nullptr);
  EXPECT_FALSE(fm()->createFileAtPath(dir / "no/such/folder/f", Data::make("x")));

  Ref<Error> error;
  auto attrs = fm()->attributesOfItemAtPath(dir / "f.txt", &error);
  ASSERT_TRUE(attrs);
  EXPECT_EQ(fileSize(attrs), 8u);
  EXPECT_EQ(fileType(attrs), FileTypeRegular);
  EXPECT_LT(std::abs(fileModificationDate(attrs)->timeIntervalSinceNow()), 60);
  EXPECT_EQ(fileType(fm()->attributesOfItemAtPath(dir.path())), FileTypeDirectory);
  EXPECT_EQ(describe(Id(fm()->attributesOfItemAtPath(dir / "empty"))[FilePosixPermissions]), "384");
  ASSERT_TRUE(fm()->createSymbolicLinkAtPath(dir / "link", dir / "f.txt"));
  EXPECT_EQ(fileType(fm()->attributesOfItemAtPath(dir / "link")), FileTypeSymbolicLink);

  // Modification dates can be set, to the nanosecond.
  auto when = Date::dateWithTimeIntervalSince1970(1715731200.25);
  EXPECT_TRUE(fm()->setAttributes(dict({{FileModificationDate, Id(when)}, {FilePosixPermissions, 0640}}),
                                  dir / "f.txt"));
  attrs = fm()->attributesOfItemAtPath(dir / "f.txt");
  EXPECT_DOUBLE_EQ(fileModificationDate(attrs)->timeIntervalSince1970(), 1715731200.25);
  EXPECT_EQ(describe(Id(attrs)[FilePosixPermissions]), "416");

  EXPECT_EQ(fm()->attributesOfItemAtPath(dir / "missing", &error), nullptr);
  EXPECT_EQ(error->code(), FileReadNoSuchFileError);
  EXPECT_EQ(fileSize(nullptr), 0u);
  EXPECT_EQ(fileModificationDate(nullptr), nullptr);

  write(dir / "same", "replaced");
  EXPECT_TRUE(fm()->contentsEqualAtPath(dir / "f.txt", dir / "same"));
  write(dir / "same", "replacex");
  EXPECT_FALSE(fm()->contentsEqualAtPath(dir / "f.txt", dir / "same"));
  EXPECT_FALSE(fm()->contentsEqualAtPath(dir / "f.txt", dir / "missing"));
}

TEST(FileManager, Removing) {
  TempDir dir;
  ASSERT_TRUE(fm()->createDirectoryAtPath(dir / "tree/deep/er", true));
  write(dir / "tree/one", "1");
  write(dir / "tree/deep/two", "2");
  write(dir / "target", "keep me");
  ASSERT_TRUE(fm()->createSymbolicLinkAtPath(dir / "tree/link", dir / "target"));
  Ref<Error> error;
  EXPECT_TRUE(fm()->removeItemAtPath(dir / "tree", &error));
  EXPECT_FALSE(fm()->fileExistsAtPath(dir / "tree"));
  EXPECT_EQ(read(dir / "target"), "keep me");  // a link is removed, not what it points to

  EXPECT_FALSE(fm()->removeItemAtPath(dir / "tree", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), FileNoSuchFileError);
  EXPECT_TRUE(underlyingIs(error, ENOENT));
  EXPECT_EQ(error->localizedDescription(), "\u201ctree\u201d couldn\u2019t be removed because it doesn\u2019t exist.");
  EXPECT_NE(error->description().find("NSCocoaErrorDomain Code=4"), std::string::npos);
  EXPECT_FALSE(fm()->removeItemAtPath("", &error));
}

TEST(FileManager, MovingAndCopying) {
  TempDir dir;
  write(dir / "a", "A");
  write(dir / "b", "B");
  Ref<Error> error;
  // The destination is never replaced.
  EXPECT_FALSE(fm()->moveItemAtPath(dir / "a", dir / "b", &error));
  EXPECT_EQ(error->code(), FileWriteFileExistsError);
  EXPECT_EQ(error->localizedDescription(),
            "\u201ca\u201d couldn\u2019t be moved to \u201c" + fs::path(dir.path()).filename().string() +
                "\u201d because an item with the same name already exists.");
  EXPECT_EQ(read(dir / "a"), "A");
  EXPECT_EQ(read(dir / "b"), "B");
  EXPECT_TRUE(fm()->moveItemAtPath(dir / "a", dir / "c", &error));
  EXPECT_FALSE(fm()->fileExistsAtPath(dir / "a"));
  EXPECT_EQ(read(dir / "c"), "A");
  EXPECT_FALSE(fm()->moveItemAtPath(dir / "a", dir / "d", &error));
  EXPECT_EQ(error->code(), FileNoSuchFileError);
  EXPECT_EQ(describe(Id(error->userInfo())[DestinationFilePathErrorKey]), dir / "d");

  // A tree with a link, permissions and dates is copied whole.
  ASSERT_TRUE(fm()->createDirectoryAtPath(dir / "src/sub", true));
  write(dir / "src/sub/file", "content");
  ASSERT_EQ(::chmod((dir / "src/sub/file").c_str(), 0751), 0);
  ASSERT_TRUE(fm()->setAttributes(dict({{FileModificationDate, Id(Date::dateWithTimeIntervalSince1970(1e9))}}),
                                  dir / "src/sub/file"));
  ASSERT_TRUE(fm()->createSymbolicLinkAtPath(dir / "src/link", "sub/file"));
  EXPECT_TRUE(fm()->copyItemAtPath(dir / "src", dir / "copy", &error));
  EXPECT_TRUE(fm()->contentsEqualAtPath(dir / "src", dir / "copy"));
  auto attrs = fm()->attributesOfItemAtPath(dir / "copy/sub/file");
  EXPECT_EQ(describe(Id(attrs)[FilePosixPermissions]), "489");  // 0751
  EXPECT_EQ(fileModificationDate(attrs)->timeIntervalSince1970(), 1e9);
  EXPECT_EQ(fm()->destinationOfSymbolicLinkAtPath(dir / "copy/link")->utf8(), "sub/file");
  EXPECT_EQ(read(dir / "copy/link"), "content");

  EXPECT_FALSE(fm()->copyItemAtPath(dir / "b", dir / "copy", &error));
  EXPECT_EQ(error->code(), FileWriteFileExistsError);
  EXPECT_TRUE(fm()->fileExistsAtPath(dir / "copy/sub/file"));  // untouched
  EXPECT_FALSE(fm()->copyItemAtPath(dir / "missing", dir / "x", &error));
  EXPECT_EQ(error->code(), FileNoSuchFileError);

  // Moving a folder, and across file systems when there is another one.
  EXPECT_TRUE(fm()->moveItemAtPath(dir / "copy", dir / "moved"));
  EXPECT_EQ(read(dir / "moved/sub/file"), "content");
  struct stat shm{}, here{};
  if (::stat("/dev/shm", &shm) == 0 && ::stat(dir.path().c_str(), &here) == 0 && shm.st_dev != here.st_dev &&
      ::access("/dev/shm", W_OK) == 0) {
    const std::string away = "/dev/shm/kit-fm-move-" + std::to_string(getpid());
    EXPECT_TRUE(fm()->moveItemAtPath(dir / "moved", away, &error));
    EXPECT_FALSE(fm()->fileExistsAtPath(dir / "moved"));
    EXPECT_EQ(read(away + "/sub/file"), "content");
    EXPECT_TRUE(fm()->moveItemAtPath(away, dir / "back"));
    EXPECT_EQ(read(dir / "back/sub/file"), "content");
  }
}

TEST(FileManager, AFailedCopyLeavesNothingBehind) {
  TempDir dir;
  ASSERT_TRUE(fm()->createDirectoryAtPath(dir / "src/sub", true));
  write(dir / "src/a", "a");
  write(dir / "src/sub/b", "b");
  // A named pipe cannot be copied; it sorts after everything else.
  ASSERT_EQ(::mkfifo((dir / "src/zz-pipe").c_str(), 0600), 0);
  Ref<Error> error;
  EXPECT_FALSE(fm()->copyItemAtPath(dir / "src", dir / "dst", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), FileWriteUnknownError);
  EXPECT_TRUE(underlyingIs(error, ENOTSUP));
  EXPECT_FALSE(fm()->fileExistsAtPath(dir / "dst"));
  EXPECT_EQ(read(dir / "src/sub/b"), "b");
}

TEST(FileManager, ListingAndEnumerating) {
  TempDir dir;
  ASSERT_TRUE(fm()->createDirectoryAtPath(dir / "b/inner", true));
  ASSERT_TRUE(fm()->createDirectoryAtPath(dir / "skip/hidden", true));
  write(dir / "c", "");
  write(dir / "a", "");
  write(dir / "b/inner/x", "");
  write(dir / "skip/hidden/y", "");
  ASSERT_TRUE(fm()->createSymbolicLinkAtPath(dir / "loop", dir.path()));  // must not be followed
  Ref<Error> error;
  EXPECT_EQ(describe(fm()->contentsOfDirectoryAtPath(dir.path(), &error)),
            "(\n    a,\n    b,\n    c,\n    loop,\n    skip\n)");
  EXPECT_EQ(fm()->subpathsOfDirectoryAtPath(dir.path())->componentsJoinedByString(" ")->utf8(),
            "a b b/inner b/inner/x c loop skip skip/hidden skip/hidden/y");
  EXPECT_EQ(fm()->contentsOfDirectoryAtPath(dir / "a", &error), nullptr);
  EXPECT_TRUE(underlyingIs(error, ENOTDIR));
  EXPECT_EQ(fm()->contentsOfDirectoryAtPath(dir / "zz", &error), nullptr);
  EXPECT_EQ(error->code(), FileReadNoSuchFileError);

  auto e = fm()->enumeratorAtPath(dir.path());
  ASSERT_TRUE(e);
  std::vector<std::string> seen;
  while (auto path = e->nextObject()) {
    seen.push_back(path->utf8() + "@" + std::to_string(e->level()));
    if (path->utf8() == "skip") e->skipDescendants();
    if (path->utf8() == "b/inner/x") {
      EXPECT_EQ(fileType(e->fileAttributes()), FileTypeRegular);
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a@1", "b@1", "b/inner@2", "b/inner/x@3", "c@1", "loop@1", "skip@1"}));
  EXPECT_EQ(e->nextObject(), nullptr);
  EXPECT_EQ(fm()->enumeratorAtPath(dir / "a"), nullptr);
}

TEST(FileManager, FreeSpaceIsRealUnlessATestReplacesIt) {
  TempDir dir;
  Ref<Error> error;
  auto real = fm()->attributesOfFileSystemForPath(dir.path(), &error);
  ASSERT_TRUE(real);
  const unsigned long long total = as<Number>(Id(real)[FileSystemSize])->unsignedLongLongValue();
  const unsigned long long free = as<Number>(Id(real)[FileSystemFreeSize])->unsignedLongLongValue();
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
  {
    ScopedFileSystemFreeSize full(1024);
    EXPECT_EQ(as<Number>(Id(fm()->attributesOfFileSystemForPath(dir.path()))[FileSystemFreeSize])->unsignedLongLongValue(),
              1024u);
    {
      ScopedFileSystemFreeSize fuller(0);
      EXPECT_EQ(describe(Id(fm()->attributesOfFileSystemForPath(dir.path()))[FileSystemFreeSize]), "0");
    }
    EXPECT_EQ(describe(Id(fm()->attributesOfFileSystemForPath(dir.path()))[FileSystemFreeSize]), "1024");
  }
  // A hook may answer for some paths only.
  auto previous = FileManager::setFileSystemFreeSizeHook([&](const std::string& path) -> std::optional<unsigned long long> {
    if (path == dir.path()) return 7;
    return std::nullopt;
  });
  EXPECT_EQ(describe(Id(fm()->attributesOfFileSystemForPath(dir.path()))[FileSystemFreeSize]), "7");
  EXPECT_NE(describe(Id(fm()->attributesOfFileSystemForPath("/"))[FileSystemFreeSize]), "7");
  FileManager::setFileSystemFreeSizeHook(previous);
  EXPECT_EQ(fm()->attributesOfFileSystemForPath(dir / "missing", &error), nullptr);
  EXPECT_EQ(error->code(), FileReadNoSuchFileError);
}

TEST(DataFile, AtomicWritesReplaceWholeFilesAndLeaveNoDebris) {
  TempDir dir;
  const std::string path = dir / "state.plist";
  Ref<Error> error;
  ASSERT_TRUE(writeDataToFile(*Data::make("first"), path, true, &error));
  ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
  ASSERT_TRUE(writeDataToFile(*Data::make("second version"), path, true, &error));
  EXPECT_EQ(read(path), "second version");
  EXPECT_EQ(describe(Id(fm()->attributesOfItemAtPath(path))[FilePosixPermissions]), "388");  // 0604 kept
  EXPECT_EQ(fm()->contentsOfDirectoryAtPath(dir.path())->count(), 1u);  // no temporary files left

  // A write that cannot happen leaves the old file and nothing else.
  EXPECT_FALSE(writeDataToFile(*Data::make("x"), dir / "no/such/dir/file", true, &error));
  EXPECT_EQ(error->code(), FileNoSuchFileError);
  EXPECT_FALSE(writeDataToFile(*Data::make("x"), dir.path() + "/", true, &error));
  ASSERT_TRUE(fm()->createDirectoryAtPath(dir / "folder", false));
  EXPECT_FALSE(writeDataToFile(*Data::make("x"), dir / "folder", true, &error));  // a folder is not replaced
  EXPECT_TRUE(fm()->fileExistsAtPath(dir / "folder"));
  EXPECT_EQ(read(path), "second version");
  EXPECT_EQ(fm()->contentsOfDirectoryAtPath(dir.path())->count(), 2u);

  // Plain writes truncate and rewrite in place.
  ASSERT_TRUE(writeStringToFile("short", path, false));
  EXPECT_EQ(read(path), "short");
  EXPECT_FALSE(writeStringToFile("x", "", false, &error));
}

TEST(DataFile, ReadingReportsWhyItFailed) {
  TempDir dir;
  Ref<Error> error;
  EXPECT_EQ(dataWithContentsOfFile(dir / "missing.json", &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), FileReadNoSuchFileError);
  EXPECT_EQ(error->localizedDescription(),
            "The file \u201cmissing.json\u201d couldn\u2019t be opened because there is no such file.");
  EXPECT_EQ(dataWithContentsOfFile(dir.path(), &error), nullptr);
  EXPECT_EQ(error->code(), FileReadUnknownError);
  EXPECT_TRUE(underlyingIs(error, EISDIR));

  write(dir / "text", "领取成功");
  EXPECT_EQ(stringWithContentsOfFile(dir / "text")->utf8(), "领取成功");
  ASSERT_TRUE(writeDataToFile(*Data::make("\xff\xfe bad", 6), dir / "binary", false));
  EXPECT_EQ(stringWithContentsOfFile(dir / "binary", &error), nullptr);
  EXPECT_EQ(error->code(), FileReadInapplicableStringEncodingError);
  EXPECT_EQ(dataWithContentsOfFile(dir / "binary")->length(), 6u);

  // Larger than one read.
  std::string big(200'000, 'q');
  big[123'456] = 'Z';
  ASSERT_TRUE(writeStringToFile(big, dir / "big", true));
  EXPECT_EQ(read(dir / "big"), big);
  // A file larger than the caller's limit is refused, not read into memory.
  EXPECT_EQ(dataWithContentsOfFile(dir / "big", &error, 1000), nullptr);
  EXPECT_EQ(error->code(), FileReadTooLargeError);
  EXPECT_EQ(dataWithContentsOfFile(dir / "big", nullptr, big.size())->length(), big.size());
}

// Runs `read` on a thread of its own and waits up to ten seconds for it.
// A read still blocked by then is a failure; the FIFO's writing end is then
// opened and closed so that the thread ends.
template <typename Read>
void expectNoBlockOnFIFO(const std::string& fifo, Read read) {
  std::promise<void> returned;
  auto done = returned.get_future();
  std::thread reader([&] {
    read();
    returned.set_value();
  });
  if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "the read blocked on a FIFO";
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    if (writer >= 0) ::close(writer);
  }
  reader.join();
}

TEST(DataFile, OnlyRegularFilesAreReadAndAFIFONeverBlocks) {
  TempDir dir;
  const std::string fifo = dir / "services.plist";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  expectNoBlockOnFIFO(fifo, [&] {
    Ref<Error> error;
    EXPECT_EQ(dataWithContentsOfFile(fifo, &error), nullptr);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), FileReadUnknownError);
    EXPECT_TRUE(underlyingIs(error, EINVAL));
  });
  expectNoBlockOnFIFO(fifo, [&] { EXPECT_EQ(stringWithContentsOfFile(fifo), nullptr); });
  expectNoBlockOnFIFO(fifo, [&] {
    EXPECT_EQ(openRegularFileForReading(fifo), -1);
    EXPECT_EQ(errno, EINVAL);
  });

  // A link to a regular file is read; one to the FIFO is not.
  write(dir / "real", "contents");
  ASSERT_EQ(symlink((dir / "real").c_str(), (dir / "to-real").c_str()), 0);
  ASSERT_EQ(symlink(fifo.c_str(), (dir / "to-fifo").c_str()), 0);
  EXPECT_EQ(stringWithContentsOfFile(dir / "to-real")->utf8(), "contents");
  expectNoBlockOnFIFO(fifo, [&] { EXPECT_EQ(dataWithContentsOfFile(dir / "to-fifo"), nullptr); });
  EXPECT_EQ(dataWithContentsOfFile("/dev/null"), nullptr) << "a device is not a file";
}

TEST(SearchPaths, HomeOverrideUsesThePlatformLayout) {
  TempDir dir;
  ScopedEnv home("KIT_HOME", dir.path().c_str());
  auto first = [](SearchPathDirectory d) { return as<String>(searchPathForDirectoriesInDomains(d)->firstObject())->utf8(); };
  EXPECT_EQ(homeDirectory()->utf8(), dir.path());
  EXPECT_EQ(first(CachesDirectory), dir / "Library/Caches");
  EXPECT_EQ(first(DocumentDirectory), dir / "Documents");
  EXPECT_EQ(first(LibraryDirectory), dir / "Library");
  EXPECT_EQ(first(ApplicationSupportDirectory), dir / "Library/Application Support");
  EXPECT_EQ(temporaryDirectory()->utf8(), dir / "tmp/");
  EXPECT_TRUE(fm()->fileExistsAtPath(dir / "tmp"));
  EXPECT_EQ(fm()->temporaryDirectory()->utf8(), dir / "tmp/");
  EXPECT_EQ(searchPathForDirectoriesInDomains(CachesDirectory, 0)->count(), 0u);
}

TEST(SearchPaths, XDGFoldersCarryTheApplicationsName) {
  TempDir dir;
  ScopedEnv noHome("KIT_HOME", nullptr);
  ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
  ScopedEnv data("XDG_DATA_HOME", (dir / "data").c_str());
  ScopedEnv tmp("TMPDIR", (dir / "tmp").c_str());
  ASSERT_TRUE(fm()->createDirectoryAtPath(dir / "tmp", false));
  setApplicationFolderName("com.example/game");
  auto first = [](SearchPathDirectory d) { return as<String>(searchPathForDirectoriesInDomains(d)->firstObject())->utf8(); };
  EXPECT_EQ(applicationFolderName(), "com.example_game");
  EXPECT_EQ(first(CachesDirectory), dir / "cache/com.example_game");
  EXPECT_EQ(first(ApplicationSupportDirectory), dir / "data/com.example_game");
  EXPECT_EQ(first(DocumentDirectory), dir / "data/com.example_game/Documents");
  const std::string temp = temporaryDirectory()->utf8();
  EXPECT_EQ(temp, dir / "tmp/com.example_game-" + std::to_string(getuid()) + "/");
  struct stat st{};
  ASSERT_EQ(::stat(temp.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  {
    ScopedEnv userHome("HOME", (dir / "data").c_str());
    EXPECT_EQ(as<String>(searchPathForDirectoriesInDomains(CachesDirectory, UserDomainMask, false)->firstObject())->utf8(),
              dir / "cache/com.example_game");
    EXPECT_EQ(as<String>(searchPathForDirectoriesInDomains(DocumentDirectory, UserDomainMask, false)->firstObject())->utf8(),
              "~/com.example_game/Documents");
  }
  setApplicationFolderName("");
  EXPECT_EQ(applicationFolderName(), "kit_foundation_test");
}

}  // namespace
}  // namespace kit
