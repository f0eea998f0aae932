// The seam through which shell commands and studies talk to the user: questions, messages, file dialogs,
// the two plot windows, the parameter form and the menus. Implemented by the Qt windows, by the batch tool
// and by the scripted fake of the tests. Nothing here depends on Qt.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "plot/surface.h"
#include "ui/menu_items.h"

namespace pelarin {

enum class MessageIcon { None, Information, Exclamation, Critical };

// A plot window (linlin or linlog): a drawing surface with a caption, a read-out box and visibility.
class PlotWindow : public DrawSurface {
 public:
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetReadoutBackground(Colour colour) = 0;
};

enum class PlotId { linlin, linlog };

// The parameter form: the 26 parameter boxes (0..25), the study name box, the form's visibility.
class ParameterForm {
 public:
  virtual ~ParameterForm() = default;
  [[nodiscard]] virtual std::string BoxText(int index) const = 0;
  virtual void SetBoxText(int index, const std::string& text) = 0;
  virtual void SetStudyName(const std::string& text) = 0;
  // Marks a box whose text cannot be used and says why (a red frame and a tooltip on screen); an empty
  // problem clears the mark.
  virtual void MarkBox(int index, const std::string& problem) = 0;
  // Shows the form and makes its Calculation button visible.
  virtual void Show() = 0;
};

// The menu bar: captions and enabled states of its entries, and the studies' entries it holds.
class Menus {
 public:
  virtual ~Menus() = default;
  virtual void SetCaption(MenuItem item, const std::string& caption) = 0;
  virtual void SetEnabled(MenuItem item, bool enabled) = 0;
  [[nodiscard]] virtual std::string Caption(MenuItem item) const = 0;
  [[nodiscard]] virtual bool Enabled(MenuItem item) const = 0;
  // The studies' entries, in registry order (menu adaptation walks them).
  [[nodiscard]] virtual const std::vector<StudyMenuEntry>& StudyEntries() const = 0;
};

// Menus held as plain values: the batch tool and the tests use it; the Qt window mirrors one.
class MenuTable : public Menus {
 public:
  explicit MenuTable(std::vector<StudyMenuEntry> studies = {}) : studies_(std::move(studies)) {
    for (const FixedMenuEntry& entry : kFixedMenuEntries)
      entries_[entry.item] = {std::string(entry.caption), true};
    for (const StudyMenuEntry& entry : studies_) entries_[entry.item] = {std::string(entry.caption), true};
  }
  void SetCaption(MenuItem item, const std::string& caption) override { entries_[item].caption = caption; }
  void SetEnabled(MenuItem item, bool enabled) override { entries_[item].enabled = enabled; }
  [[nodiscard]] std::string Caption(MenuItem item) const override {
    const auto found = entries_.find(item);
    return found == entries_.end() ? std::string() : found->second.caption;
  }
  [[nodiscard]] bool Enabled(MenuItem item) const override {
    const auto found = entries_.find(item);
    return found != entries_.end() && found->second.enabled;
  }
  [[nodiscard]] const std::vector<StudyMenuEntry>& StudyEntries() const override { return studies_; }

 private:
  struct Entry {
    std::string caption;
    bool enabled = true;
  };
  std::map<MenuItem, Entry> entries_;
  std::vector<StudyMenuEntry> studies_;
};

// The kinds of file a dialog asks for; each has its own filter.
enum class FileKind { ParameterFile, MeasuredData, CurveToFit };

// What a file dialog is asked: the kind of file, a title, the start folder and a proposed name.
struct FileDialogRequest {
  FileKind kind = FileKind::ParameterFile;
  std::string title;
  std::string startDir;
  std::string fileName;
};

// The filter of a kind of file, in "description|pattern|" form.
[[nodiscard]] inline std::string_view FileFilter(FileKind kind) {
  switch (kind) {
    case FileKind::ParameterFile:
      return "fichiers (*.plr)|*.plr|";
    case FileKind::MeasuredData:
      return "fichiers (*.txt)|*.txt|";
    case FileKind::CurveToFit:  // what measurement programs and the program's own tables are named
      return "Measured curves (*.txt *.csv *.dat)|*.txt *.csv *.dat|All files (*)|*|";
  }
  return "";
}

// Every Yes/No question the commands ask.
enum class Question {
  SaveData,              // before result tables are written
  OverwriteResults,      // the first result table of a study exists
  OverwriteParameters,   // the parameter file chosen for saving exists
  ShowExperimentalData,  // before the measured-data overlay
  DeleteStudy,           // before a study's files are erased
  Quit,                  // before the program ends
  ApplyFit,              // before fitted values replace the form's
};

struct QuestionText {
  std::string_view text;
  std::string_view title;
  MessageIcon icon;
};

// The text, title and icon of a question as the user sees it.
[[nodiscard]] inline QuestionText TextOf(Question question) {
  switch (question) {
    case Question::SaveData:
      return {"     Do you want to save the data ?", "     **  Recording  **", MessageIcon::None};
    case Question::OverwriteResults:
      return {"This file exists already ! Save again ?", "** Be Carefull **", MessageIcon::None};
    case Question::OverwriteParameters:
      return {"This file exists already ! Save again ?", "** Be Carefull **", MessageIcon::Exclamation};
    case Question::ShowExperimentalData:
      return {"     Display of experimental data ?", "     **  Exp. data  **", MessageIcon::None};
    case Question::DeleteStudy:
      return {" ALL the related files will be erased !", " Are you SURE ?", MessageIcon::Exclamation};
    case Question::Quit:
      return {"     Do you want to quit ?", "     **  End of the study  **", MessageIcon::None};
    case Question::ApplyFit:
      return {"Put the fitted values into the form ?", "Fit", MessageIcon::None};
  }
  return {};
}

// The files a study writes when its user says Yes to saving, known before it computes.
struct StudyFiles {
  std::vector<std::string> tables;
  bool parameterFile = false;       // it also saves the parameter file, through the Save dialog
  std::vector<std::string> images;  // the plot images its windows would be saved as
};

// What the user reads for a question: its text, then on a line of its own what it is about (the study a
// deletion erases), when there is a subject.
[[nodiscard]] inline std::string QuestionMessage(Question question, const std::string& subject) {
  std::string text(TextOf(question).text);
  if (!subject.empty()) text += "\n" + subject;
  return text;
}

class Ui {
 public:
  virtual ~Ui() = default;
  // Told by a study once it knows its files, before it computes. The batch tool stops the study there when
  // a file is in the way that it may not replace; the windows ask their questions later, as they always do.
  virtual void BeforeComputing(const StudyFiles& files) = 0;
  // Modal Yes/No question (its text from QuestionMessage); true for Yes.
  [[nodiscard]] virtual bool Ask(Question question, const std::string& subject) = 0;
  [[nodiscard]] bool Ask(Question question) { return Ask(question, std::string()); }
  // Tells the user where the files just written went (a status line in the window).
  virtual void FilesSaved(const std::vector<std::string>& paths) = 0;
  // Modal message with an OK button.
  virtual void ShowMessage(const std::string& text, const std::string& title,
                           MessageIcon icon = MessageIcon::None) = 0;
  // File dialogs: the full path chosen, or nothing when cancelled. Use ChooseFileToOpen/ChooseFileToSave,
  // which also move the working directory to the chosen file's folder.
  [[nodiscard]] virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
  [[nodiscard]] virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;
  [[nodiscard]] virtual PlotWindow& Plot(PlotId id) = 0;
  [[nodiscard]] virtual ParameterForm& Form() = 0;
  [[nodiscard]] virtual Menus& MenuBar() = 0;
  // Whether a file chosen in a dialog moves the working directory to its folder (see ChooseFileToOpen);
  // a study computed in the background must not move it under the window's feet.
  [[nodiscard]] virtual bool FollowsChosenFolder() const { return true; }
};

namespace detail {
inline std::optional<std::string> AfterChoice(const Ui& ui, std::optional<std::string> path) {
  if (path && !path->empty() && ui.FollowsChosenFolder()) {
    // The platform's dialog leaves the working directory at the chosen folder; studies rely on it.
    const std::filesystem::path folder = std::filesystem::path(*path).parent_path();
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::current_path(folder, ignored);
  }
  return path;
}
}  // namespace detail

[[nodiscard]] inline std::optional<std::string> ChooseFileToOpen(Ui& ui, const FileDialogRequest& request) {
  return detail::AfterChoice(ui, ui.OpenFileDialog(request));
}
[[nodiscard]] inline std::optional<std::string> ChooseFileToSave(Ui& ui, const FileDialogRequest& request) {
  return detail::AfterChoice(ui, ui.SaveFileDialog(request));
}

}  // namespace pelarin
