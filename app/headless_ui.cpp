#include "app/headless_ui.h"

namespace pelarin {

bool HeadlessUi::Ask(Question question, const std::string&) {
  switch (question) {
    case Question::SaveData:
      return tables_;
    case Question::ShowExperimentalData:
      return measuredData.has_value();
    case Question::OverwriteResults:
    case Question::OverwriteParameters:
      if (!overwrite_)
        problems.push_back("its tables exist already and are kept" +
                           (overwriteHint.empty() ? std::string() : " (" + overwriteHint + ")"));
      return overwrite_;
    default:
      return false;
  }
}

void HeadlessUi::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  if (icon == MessageIcon::Critical || icon == MessageIcon::Exclamation)
    problems.push_back(title + ": " + text);
}

std::optional<std::string> HeadlessUi::OpenFileDialog(const FileDialogRequest& request) {
  return request.kind == FileKind::ParameterFile ? paramsToOpen : measuredData;
}

std::optional<std::string> HeadlessUi::SaveFileDialog(const FileDialogRequest& request) {
  if (request.kind != FileKind::ParameterFile || parameterFile.empty()) return std::nullopt;
  return parameterFile;
}

}  // namespace pelarin
