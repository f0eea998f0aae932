// The study folder, where a study writes its tables and plot images, and the file helpers that the shell
// shares with the studies.
#pragma once

#include <string>

#include "model/calc_error.h"
#include "model/state.h"

namespace pelarin {

// From baseDir: creates baseDir/<studyName>_plr unless an entry of that exact name exists, then sets
// studyDir to that folder with a final separator. Throws FileError when the folder cannot be created.
void MakeStudyFolder(StudyIdentity& id);

// The process's current working directory.
[[nodiscard]] std::string CurrentDir();

// Writes content to path through a temporary file in the same folder that then replaces path, so a failure
// never leaves a half-written file where a good one stood. Throws FileError naming the file and the reason.
void WriteTextFileAtomically(const std::string& path, const std::string& content);

}  // namespace pelarin
