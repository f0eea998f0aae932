#include "workspace/study_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "model/calc_error.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

std::string Reason(int error) { return std::strerror(error); }

// What stands at a path that is not a regular file, for a message.
std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int Get() const { return fd_; }
  // Closes now and reports the error close gives (a delayed write error on some file systems).
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// A name beside target that nobody else uses: target + ".tmp~" + six random letters, or with keepSuffix
// the letters before target's suffix (a writer that takes the format from the suffix still finds it).
std::string TemporaryName(const std::string& target, bool keepSuffix) {
  static std::mt19937 rng(std::random_device{}());
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  const fs::path path(target);
  const std::string suffix = keepSuffix ? path.extension().string() : "";
  std::string name = target.substr(0, target.size() - suffix.size()) + ".tmp~";
  for (int i = 0; i < 6; ++i) name += kLetters[rng() % (sizeof kLetters - 1)];
  return name + suffix;
}

// Writes content to a new temporary file beside path and returns its name. The file is created
// exclusively and never through a link, so nothing placed at a predictable name can redirect the write.
std::string WriteTemporary(const std::string& path, const std::string& content, bool keepSuffix = false) {
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TemporaryName(path, keepSuffix);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) throw FileError("cannot write " + path + ": " + Reason(errno) + ".");
  }
  if (fd < 0) throw FileError("cannot write " + path + ": no free temporary name beside it.");
  Descriptor file(fd);
  const auto fail = [&](int error) {
    ::unlink(temp.c_str());
    throw FileError("cannot write " + path + ": " + Reason(error) + ".");
  };
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(file.Get(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(n < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  if (const int error = file.Close(); error != 0) fail(error);
  return temp;
}

// Puts temp in place under path, and the error that stopped it (0 when none). Without leave to replace, the
// rename itself fails when path is taken (EEXIST), so no check made before it can go stale.
int PutInPlace(const std::string& temp, const std::string& path, Replacing replacing) {
  if (replacing == Replacing::Allowed) return ::rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // A file system without that rename: a hard link never replaces either, then the temporary name goes.
  if (::link(temp.c_str(), path.c_str()) != 0) return errno;
  ::unlink(temp.c_str());
  return 0;
}

// Refuses a name where something other than a regular file stands: a rename would replace a folder's,
// a link's, a device's or a FIFO's entry with a file (as root, /dev/stdout's for everyone).
void CheckReplaceable(const std::string& path) {
  if (const std::string problem = NotAFileToReplace(path); !problem.empty())
    throw FileError("cannot write " + problem + ".");
}

}  // namespace

std::string NotAFileToReplace(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return "";
  const char* what = S_ISDIR(status.st_mode)                              ? "a folder"
                     : S_ISLNK(status.st_mode)                            ? "a link"
                     : S_ISFIFO(status.st_mode)                           ? "a FIFO"
                     : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? "a device"
                                                                          : "something that is not a file";
  return path + ": " + what + " of that name is in the way, and only a regular file is ever replaced";
}

namespace {

// A path as the file system will resolve it, links in its existing part followed: two names of one file
// compare equal.
fs::path Resolved(const std::string& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::absolute(path, ec).lexically_normal() : resolved;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (Resolved(a) == Resolved(b)) return true;
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;  // hard links, or names the resolution missed
}

}  // namespace

std::string OutputsProblem(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const std::string& out = outputs[i];
    if (out.empty()) return "an output file has no name";
    std::error_code ec;
    if (fs::is_directory(out, ec) || out.back() == '/')
      return out + " is a folder; an output needs a file name";
    for (const std::string& in : inputs)
      if (!in.empty() && SameFile(out, in))
        return std::string(out)
            .append(" is also an input of the run (")
            .append(in)
            .append("); it would be destroyed");
    for (std::size_t j = 0; j < i; ++j) {
      if (!SameFile(out, outputs[j])) continue;
      std::string why = out + " is named for two outputs of the run";
      if (outputs[j] != out) why.append(" (also as ").append(outputs[j]).append(")");
      return why.append("; one would be lost");
    }
    if (std::string problem = NotAFileToReplace(out); !problem.empty()) return problem;
  }
  return "";
}

std::string CurrentDir() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return ec ? std::string(".") : cwd.string();
}

std::string WorkDir(const StudyIdentity& id) { return id.workDir.empty() ? CurrentDir() : id.workDir; }

bool SomethingAt(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

void WriteTextFileAtomically(const std::string& path, const std::string& content, Replacing replacing) {
  WriteFilesAsSet({{path, content}}, replacing);
}

void WriteFilesAsSet(const std::vector<std::pair<std::string, std::string>>& files, Replacing replacing) {
  for (const auto& [path, content] : files) CheckReplaceable(path);
  std::vector<std::string> temps;
  try {
    for (const auto& [path, content] : files) temps.push_back(WriteTemporary(path, content));
  } catch (const FileError&) {
    for (const std::string& temp : temps) ::unlink(temp.c_str());
    throw;
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const int error = PutInPlace(temps[i], files[i].first, replacing);
    if (error == 0) continue;
    for (std::size_t j = i; j < temps.size(); ++j) ::unlink(temps[j].c_str());
    if (error == EEXIST && replacing == Replacing::Refused) {
      // The files put in place before it stood nowhere before: taking them back leaves the set unwritten.
      for (std::size_t j = 0; j < i; ++j) ::unlink(files[j].first.c_str());
      throw FileExistsError(files[i].first);
    }
    std::string message = "cannot replace " + files[i].first + ": " + Reason(error) + ".";
    if (i > 0) message += " The files before it in the set were replaced already.";
    throw FileError(message);
  }
}

std::string CreateTemporaryBeside(const std::string& path) {
  CheckReplaceable(path);
  return WriteTemporary(path, "", true);
}

void ReplaceWithTemporary(const std::string& temp, const std::string& path, Replacing replacing) {
  const int error = PutInPlace(temp, path, replacing);
  if (error == 0) return;
  ::unlink(temp.c_str());
  if (error == EEXIST && replacing == Replacing::Refused) throw FileExistsError(path);
  throw FileError("cannot replace " + path + ": " + Reason(error) + ".");
}

FileStart ReadFileStart(const std::string& path, std::size_t maxBytes, std::size_t maxLine) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) throw FileError("cannot read " + path + ": the file does not exist.");
    throw FileError("cannot read " + path + ": " + Reason(error) + ".");
  }
  Descriptor file(fd);
  struct stat status {};
  if (::fstat(file.Get(), &status) != 0) throw FileError("cannot read " + path + ": " + Reason(errno) + ".");
  if (!S_ISREG(status.st_mode))
    throw FileError("cannot read " + path + ": it is " + KindOf(status.st_mode) + ", not a file.");
  FileStart start;
  std::string& bytes = start.bytes;
  char buffer[65536];
  std::size_t lineStart = 0, lines = 1;
  // The line under way, once it is longer than maxLine: the read ends there.
  const auto checkLines = [&] {
    for (std::size_t at = bytes.find('\n', lineStart); at != std::string::npos;
         at = bytes.find('\n', lineStart))
      lineStart = at + 1, ++lines;
    if (bytes.size() - lineStart > maxLine)
      throw FileError("cannot read " + path + ": its line " + std::to_string(lines) + " is longer than " +
                      std::to_string(maxLine) + " bytes.");
  };
  for (;;) {
    checkLines();
    const std::size_t room = maxBytes - bytes.size();
    const ssize_t n = ::read(file.Get(), buffer, room < sizeof buffer ? room + 1 : sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError("cannot read " + path + ": " + Reason(errno) + ".");
    if (n == 0) break;
    const auto got = static_cast<std::size_t>(n);
    if (got > room) {
      bytes.append(buffer, room);
      start.whole = false;
      break;
    }
    bytes.append(buffer, got);
  }
  checkLines();
  return start;
}

std::string StudyFolderOf(const StudyIdentity& id) {
  return (fs::path(id.baseDir) / (id.studyName + "_plr") / "").string();
}

void MakeStudyFolder(StudyIdentity& id) {
  const std::string folderName = id.studyName + "_plr";
  const fs::path folder = fs::path(id.baseDir) / folderName;
  if (!id.studyDirNeeded) {  // nothing will be saved in it: not even a read-only folder is touched
    id.studyDirMade = false;
    id.studyDir = (folder / "").string();
    return;
  }
  std::error_code ec;
  bool exists = false;
  for (fs::directory_iterator it(id.baseDir.empty() ? "." : id.baseDir, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename().string() == folderName) {
      exists = true;
      break;
    }
  }
  if (exists && !fs::is_directory(folder, ec))
    throw FileError("cannot use the study folder " + folder.string() +
                    ": a file of that name is in the way.");
  if (!exists) {
    fs::create_directory(folder, ec);
    if (ec) throw FileError("cannot create the study folder " + folder.string() + ": " + ec.message() + ".");
  }
  id.studyDirMade = !exists;
  id.studyDir = (folder / "").string();
}

}  // namespace pelarin
