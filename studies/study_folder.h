// The study folder: where a study writes its tables and where plot images are saved.
#pragma once

#include <string>

#include "model/state.h"

namespace pelarin {

// From baseDir: creates baseDir/<studyName>_plr unless an entry of that exact name exists, then sets
// studyDir to that folder with a final separator. Throws FileError when the folder cannot be created.
void MakeStudyFolder(StudyIdentity& id);

// The process's current working directory.
[[nodiscard]] std::string CurrentDir();

// Writes content to path through a temporary file in the same folder that then
// replaces path, so a failure never leaves a half-written file where a good one stood. Throws FileError.
void WriteTextFileAtomically(const std::string& path, const std::string& content);

}  // namespace pelarin
