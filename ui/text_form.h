// The parameter form without a screen: the boxes held as text, starting from their default texts.
#pragma once

#include <array>
#include <string>

#include "model/parameter_table.h"
#include "ui/ui.h"

namespace pelarin {

class TextForm : public ParameterForm {
 public:
  TextForm() {
    for (int i = 0; i < kParameterCount; ++i)
      boxes[static_cast<std::size_t>(i)] = kParameterRows[static_cast<std::size_t>(i)].defaultText;
  }
  [[nodiscard]] std::string BoxText(int index) const override {
    return boxes.at(static_cast<std::size_t>(index));
  }
  void SetBoxText(int index, const std::string& text) override {
    boxes.at(static_cast<std::size_t>(index)) = text;
    ++writes;
  }
  void SetStudyName(const std::string& text) override { text2 = text; }
  void MarkBox(int index, const std::string& problem) override {
    marks.at(static_cast<std::size_t>(index)) = problem;
  }
  void Show() override { ++showCount; }

  std::array<std::string, kParameterCount> boxes;
  std::array<std::string, kParameterCount> marks;  // why a box cannot be used, empty when it can
  std::string text2 = "Test";
  int showCount = 0;  // how often the form was shown
  int writes = 0;     // how many box texts the program rewrote
};

}  // namespace pelarin
