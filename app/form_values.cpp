#include "app/form_values.h"

#include <exception>
#include <filesystem>

#include "app/headless_ui.h"
#include "app/scan_cells.h"  // OneLine
#include "model/parameter_table.h"
#include "workspace/parameter_file.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {

std::vector<std::string> ReadFormValues(const std::optional<std::string>& parameterFile,
                                        const std::vector<std::pair<std::string, std::string>>& boxes,
                                        State& state) {
  ResetStartUpConstants(state);
  HeadlessUi ui(false, false);
  ui.followsChosenFolder = false;
  if (parameterFile) {
    std::error_code ec;
    const fs::path path = fs::absolute(*parameterFile, ec);
    if (!SomethingAt(path.string())) return {"the parameter file " + path.string() + " does not exist."};
    ui.paramsToOpen = path.string();
    try {
      LoadParameters(state, ui);
    } catch (const std::exception& e) {
      ui.problems.emplace_back(e.what());
    }
    if (!ui.problems.empty()) return {OneLine(ui.problems.front())};
  }
  for (const auto& [name, text] : boxes) ui.form.SetBoxText(ParameterIndex(name), text);
  std::vector<std::string> refused;
  for (const BadBox& box : ReadParameterForm(state, ui)) refused.push_back(box.sentence);
  return refused;
}

}  // namespace pelarin
