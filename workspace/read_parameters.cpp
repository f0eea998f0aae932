#include "workspace/read_parameters.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/operating_conditions.h"
#include "model/parameter_table.h"

namespace pelarin {
namespace {

constexpr double kLowResistance = 0.001;
constexpr double kCouplingMax = 1e13;
constexpr std::size_t kQuotedAtMost = 40;

// The text as a message quotes it: at most kQuotedAtMost characters, each control character (a NUL that
// would end the message where C strings carry it) shown as "?".
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text.substr(0, kQuotedAtMost))
    quoted += static_cast<unsigned char>(c) < ' ' || c == '\x7f' ? '?' : c;
  return quoted + (text.size() > kQuotedAtMost ? "...\"" : "\"");
}

// "above -273.15 and at most 400 degrees C": the range of a Bounded row.
std::string RangeText(const ParameterRow& row) {
  const auto number = [](double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", x);
    return std::string(text);
  };
  const std::string unit = row.unit.empty() ? "" : " " + std::string(row.unit);
  if (!row.highClosed) return "above " + number(row.low) + " and below " + number(row.high) + unit;
  return (row.lowClosed ? "from " + number(row.low) + " to " : "above " + number(row.low) + " and at most ") +
         number(row.high) + unit;
}

// Why a number that reads well is no value of this row's parameter; empty when it is one.
std::string OutOfRange(const ParameterRow& row, double value, const std::string& text) {
  switch (row.rule) {
    case ReadRule::Resistance:
      return value < 0 ? "a resistance cannot be negative (" + Quoted(text) + ")" : "";
    case ReadRule::Photocurrent:
      return value < 0 ? "a photocurrent cannot be negative (" + Quoted(text) + "); 0 makes the junction dark"
                       : "";
    case ReadRule::SaturationCurrent:
      return value < 0 ? "a saturation current cannot be negative (" + Quoted(text) +
                             "); 0 leaves the junction one diode"
                       : "";
    case ReadRule::IdealityFactor:
      return value > 0 ? "" : "an ideality factor must be above 0 (" + Quoted(text) + ")";
    case ReadRule::Coupling:
      return "";
    case ReadRule::Bounded: {
      if (row.InRange(value)) return "";
      return std::string(row.quantity) + " must be " + RangeText(row) + " (" + Quoted(text) + ")";
    }
  }
  return "";
}

}  // namespace

std::optional<double> ReadIncidentPower(std::string_view text) {
  std::string converted(text);
  ConvertAll(converted);
  const WholeNumber number = ReadWholeNumber(converted);
  if (number.kind != NumberKind::Number || !std::isfinite(number.value) || !(number.value > 0))
    return std::nullopt;
  return number.value;
}

BoxReading ReadBox(const ParameterRow& row, std::string_view text) {
  BoxReading box;
  box.shownText = text;
  ConvertAll(box.shownText);
  const WholeNumber number = ReadWholeNumber(box.shownText);
  const bool correctsEmpty = row.rule == ReadRule::Resistance || row.rule == ReadRule::Coupling;
  switch (number.kind) {
    case NumberKind::Number:
      box.problem = OutOfRange(row, number.value, box.shownText);
      break;
    case NumberKind::Empty:
      if (!correctsEmpty) box.problem = "the box is empty";
      break;
    case NumberKind::NotANumber:
      box.problem = Quoted(box.shownText) + " is not a number";
      break;
    case NumberKind::TooLarge:
      box.problem = Quoted(box.shownText) + " is beyond the largest number, " +
                    PlainNumber(std::numeric_limits<double>::max()).substr(1);
      break;
  }
  if (!box.problem.empty()) return box;
  box.value = number.value == 0 ? 0.0 : number.value;  // "-0" is the value 0, without a sign
  // The corrections the user sees: the box shows the value used.
  if (row.rule == ReadRule::Resistance && box.value == 0) {
    box.value = kLowResistance;
    box.shownText = PlainNumber(box.value);
  } else if (row.rule == ReadRule::Coupling) {
    if (!(box.value > row.lowerLimit)) {
      box.value = row.lowerLimit;
      box.shownText = PlainNumber(box.value);
    }
    if (box.value > kCouplingMax) {
      box.value = kCouplingMax;
      box.shownText = Format(box.value, kExponentMask);
    }
  }
  return box;
}

std::vector<BadBox> ReadParameterForm(State& state, Ui& ui) {
  ParameterForm& form = ui.Form();
  Parameters p = state.formValues;
  std::vector<BadBox> bad;
  for (int i = 0; i < kParameterCount; ++i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    const std::string text = form.BoxText(i);
    const BoxReading box = ReadBox(row, text);
    if (box.shownText != text) form.SetBoxText(i, box.shownText);
    form.MarkBox(i, box.problem);
    if (!box.problem.empty()) {
      bad.push_back({i, std::string(row.name) + ": " + box.problem + "."});
      continue;
    }
    p.*row.member = box.value;
  }
  // The cell at its conditions, unless they leave it none: then the box that does is marked too.
  const auto problem = CheckConditions(p);
  if (problem) {
    state.formValues = p;
  } else {
    UseCell(state, p);
  }
  if (problem && bad.empty()) {
    form.MarkBox(problem->box, problem->sentence);
    bad.push_back({problem->box, problem->sentence});
  }
  AdaptMenus(state.par, ui.MenuBar());
  return bad;
}

void ReadParameters(State& state, Ui& ui) {
  // Every study starts here: its budget of work starts with it.
  state.ws.workLimit = state.ws.work + state.ws.workBudget;
  const std::vector<BadBox> bad = ReadParameterForm(state, ui);
  if (bad.empty()) return;
  std::string text = bad.size() == 1 ? "this box holds no value a cell can have:"
                                     : "these boxes hold no value a cell can have:";
  for (const BadBox& box : bad) text += "\n" + box.sentence;
  throw InputError(text);
}

void ResetStartUpConstants(State& state) {
  state.k = Constants{};
  state.ws.stepFactor = state.k.stepInit;
  state.sweep.rgSwitch = 0;
  state.flags.darkFlag = 0;
  state.flags.subStudyFlag = 0;
  state.ws.divergeFlag = 0;
  if (state.id.studyName.empty()) state.id.studyName = "Test";
}

}  // namespace pelarin
