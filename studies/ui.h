// The seam through which shell commands and studies talk to the user: questions, messages, file dialogs,
// the two plot windows, the parameter form and the menus. Implemented by the Qt windows, by the batch tool
// and by the scripted fake of the tests. Nothing here depends on Qt.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "plot/surface.h"

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

// The parameter form Data: boxes Text1(0..25), the study name box Text2, the form's visibility.
class ParameterForm {
 public:
  virtual ~ParameterForm() = default;
  [[nodiscard]] virtual std::string Text1(int index) const = 0;
  virtual void SetText1(int index, const std::string& text) = 0;
  virtual void SetText2(const std::string& text) = 0;
  // Shows the form and makes its Calculation button visible.
  virtual void Show() = 0;
};

inline constexpr int kParameterCount = 26;

// Every entry of the main window's menu bar whose caption or enabled state can change.
enum class MenuItem {
  Fichier,
  Charger,
  Sauvegarde,
  suppression,
  Fin,
  Calculs,
  Eachjunction,
  Threejunctions,
  SansRf,
  AvecRl,
  Twojunctions,
  TwojunctionsWoRf,
  TwojunctionWRf,
  Onejunction,
  OnejonctionWoRf,
  OnejunctionWRf,
  test_artefact,
  test_EQE_3junct,
  test_EQE_3junct_Ill,
  test_EQE_3junct_Dark,
  calc_EQE_2junct,
  test_EQE_2junct_1and2_Ill,
  test_EQE_2junct_1and3_Ill,
  test_EQE_2junct_2and3_Ill,
  Question,
  aidenligne,
  createur,
  Count
};
inline constexpr int kMenuItemCount = static_cast<int>(MenuItem::Count);

class Menus {
 public:
  virtual ~Menus() = default;
  virtual void SetCaption(MenuItem item, const std::string& caption) = 0;
  virtual void SetEnabled(MenuItem item, bool enabled) = 0;
  [[nodiscard]] virtual std::string Caption(MenuItem item) const = 0;
  [[nodiscard]] virtual bool Enabled(MenuItem item) const = 0;
};

// The captions of the menu tree as created.
[[nodiscard]] inline std::string InitialCaption(MenuItem item) {
  switch (item) {
    case MenuItem::Fichier:
      return "&Files";
    case MenuItem::Charger:
      return "&Open";
    case MenuItem::Sauvegarde:
      return "&Save";
    case MenuItem::suppression:
      return "&Delete";
    case MenuItem::Fin:
      return "&Quit";
    case MenuItem::Calculs:
      return "&Calculations";
    case MenuItem::Eachjunction:
      return "&Independent";
    case MenuItem::Threejunctions:
      return "&All junctions";
    case MenuItem::SansRf:
      return "Without Rl";
    case MenuItem::AvecRl:
      return "With Rl + Rg";
    case MenuItem::Twojunctions:
      return "&2 junctions";
    case MenuItem::TwojunctionsWoRf:
      return "Without Rl";
    case MenuItem::TwojunctionWRf:
      return "With Rl + Rg";
    case MenuItem::Onejunction:
      return "&1 junction";
    case MenuItem::OnejonctionWoRf:
      return "Without Rl";
    case MenuItem::OnejunctionWRf:
      return "With Rl + Rg";
    case MenuItem::test_artefact:
      return "EQE";
    case MenuItem::test_EQE_3junct:
      return "All junctions";
    case MenuItem::test_EQE_3junct_Ill:
      return "Illuminated";
    case MenuItem::test_EQE_3junct_Dark:
      return "Dark";
    case MenuItem::calc_EQE_2junct:
      return "2 junctions";
    case MenuItem::test_EQE_2junct_1and2_Ill:
      return "1 and 2 Illuminated";
    case MenuItem::test_EQE_2junct_1and3_Ill:
      return "1 and 3 Illuminated";
    case MenuItem::test_EQE_2junct_2and3_Ill:
      return "2 and 3 Illuminated";
    case MenuItem::Question:
      return "?";
    case MenuItem::aidenligne:
      return "Help";
    case MenuItem::createur:
      return "About";
    case MenuItem::Count:
      break;
  }
  return {};
}

// Menus held as plain values: the batch tool and the tests use it; the Qt window mirrors one.
class MenuTable : public Menus {
 public:
  MenuTable() {
    for (int i = 0; i < kMenuItemCount; ++i) captions_[i] = InitialCaption(static_cast<MenuItem>(i));
    enabled_.fill(true);
  }
  void SetCaption(MenuItem item, const std::string& caption) override { captions_[Index(item)] = caption; }
  void SetEnabled(MenuItem item, bool enabled) override { enabled_[Index(item)] = enabled; }
  [[nodiscard]] std::string Caption(MenuItem item) const override { return captions_[Index(item)]; }
  [[nodiscard]] bool Enabled(MenuItem item) const override { return enabled_[Index(item)]; }

 private:
  static std::size_t Index(MenuItem item) { return static_cast<std::size_t>(item); }
  std::array<std::string, kMenuItemCount> captions_{};
  std::array<bool, kMenuItemCount> enabled_{};
};

// What a file dialog is asked: its title, its filter in "description|pattern|" form, start folder and name.
struct FileDialogRequest {
  std::string title;
  std::string filter;  // e.g. "fichiers (*.plr)|*.plr|"
  std::string startDir;
  std::string fileName;
};

// The texts of the questions asked before results or a parameter file are written.
inline constexpr const char* kSaveQuestion = "     Do you want to save the data ?";
inline constexpr const char* kSaveTitle = "     **  Recording  **";
inline constexpr const char* kOverwriteQuestion = "This file exists already ! Save again ?";
inline constexpr const char* kOverwriteTitle = "** Be Carefull **";

class Ui {
 public:
  virtual ~Ui() = default;
  // Modal Yes/No question; true for Yes.
  [[nodiscard]] virtual bool AskYesNo(const std::string& text, const std::string& title,
                                      MessageIcon icon = MessageIcon::None) = 0;
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
};

namespace detail {
inline std::optional<std::string> AfterChoice(std::optional<std::string> path) {
  if (path && !path->empty()) {
    // The platform's dialog leaves the working directory at the chosen folder; studies rely on it.
    const std::filesystem::path folder = std::filesystem::path(*path).parent_path();
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::current_path(folder, ignored);
  }
  return path;
}
}  // namespace detail

[[nodiscard]] inline std::optional<std::string> ChooseFileToOpen(Ui& ui, const FileDialogRequest& request) {
  return detail::AfterChoice(ui.OpenFileDialog(request));
}
[[nodiscard]] inline std::optional<std::string> ChooseFileToSave(Ui& ui, const FileDialogRequest& request) {
  return detail::AfterChoice(ui.SaveFileDialog(request));
}

}  // namespace pelarin
