// The study folder, where a study writes its tables and plot images, and the file helpers that the shell
// shares with the studies.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "model/calc_error.h"
#include "model/state.h"

namespace pelarin {

// The study folder of id, baseDir/<studyName>_plr, with a final separator (nothing is created).
[[nodiscard]] std::string StudyFolderOf(const StudyIdentity& id);

// From baseDir: creates baseDir/<studyName>_plr unless an entry of that exact name exists, then sets
// studyDir to that folder with a final separator. Throws FileError when the folder cannot be created. With
// id.studyDirNeeded false it only sets studyDir.
void MakeStudyFolder(StudyIdentity& id);

// The process's current working directory.
[[nodiscard]] std::string CurrentDir();

// The folder a study places its folder in and its dialogs start from: id.workDir when set (a study
// computed in the background), else the current working directory.
[[nodiscard]] std::string WorkDir(const StudyIdentity& id);

// Whether a written file, put in place under its name, may replace a file that stands there by then. When
// not, the name is taken in one step with the check that it is free, so that of two runs writing one new
// file exactly one succeeds; the other throws FileExistsError and the file it found is kept.
enum class Replacing { Allowed, Refused };

// Writes content to path through a temporary file in the same folder that then replaces path, so a failure
// never leaves a half-written file where a good one stood. The temporary gets a name of its own, created
// exclusively and never through a link. Throws FileError naming the file and the reason.
void WriteTextFileAtomically(const std::string& path, const std::string& content,
                             Replacing replacing = Replacing::Allowed);

// Writes a set of files (path, content) so that they change together: every file goes to its temporary
// first, then all are renamed over their names. A failure before the renames removes the temporaries and
// leaves every old file whole; a file found at a name the set may not replace takes back the files the set
// put in place before it. Throws FileError naming the file and the reason.
void WriteFilesAsSet(const std::vector<std::pair<std::string, std::string>>& files,
                     Replacing replacing = Replacing::Allowed);

// For a writer that opens files by name (the image renderer): an empty file beside path under a name of its
// own that keeps path's suffix, created exclusively and never through a link; the writer fills it, then
// ReplaceWithTemporary puts it in place. Throws FileError.
[[nodiscard]] std::string CreateTemporaryBeside(const std::string& path);
// Renames temp over path, or removes temp and throws FileError when it cannot (FileExistsError when a file
// stands at path and replacing it is refused).
void ReplaceWithTemporary(const std::string& temp, const std::string& path,
                          Replacing replacing = Replacing::Allowed);

// The first bytes of a file (at most maxBytes), and whether that is all of it.
struct FileStart {
  std::string bytes;
  bool whole = true;
};

// Reads at most maxBytes of path when it is a regular file. It is opened without blocking, so a FIFO or a
// device is named and refused rather than waited on, and so is a folder. A line longer than maxLine bytes
// ends the read with an error naming it, before the rest fills memory. Throws FileError.
[[nodiscard]] FileStart ReadFileStart(const std::string& path, std::size_t maxBytes,
                                      std::size_t maxLine = static_cast<std::size_t>(-1));

// Why path cannot be written over: something other than a regular file stands there (a folder, a link
// even dangling, a FIFO, a device), as "PATH: a link of that name is in the way, ..."; empty when nothing
// or a regular file does. Every write refuses such a name, with or without leave to overwrite.
[[nodiscard]] std::string NotAFileToReplace(const std::string& path);

// Why the outputs of one run cannot be written, found before anything is computed: an output without a
// name or naming a folder, two outputs that are one file, an output that is one of the run's inputs, and an
// output where something other than a regular file stands. Each reason names its path; empty when none.
[[nodiscard]] std::string OutputsProblem(const std::vector<std::string>& outputs,
                                         const std::vector<std::string>& inputs);

// Whether anything (a file, a folder, a link even dangling, a FIFO) stands at path.
[[nodiscard]] bool SomethingAt(const std::string& path);

}  // namespace pelarin
