#include "workspace/read_parameters.h"

#include <string>

#include "model/number_text.h"
#include "model/parameter_table.h"

namespace pelarin {
namespace {

constexpr double kLowResistance = 0.001;
constexpr double kCouplingMax = 1e13;

double Box(Ui& ui, int index) { return Val(ui.Form().BoxText(index)); }

// A zero series or parallel resistance becomes 0.001, and the box shows the value used.
void NonZero(double& value, Ui& ui, int box) {
  if (value == 0) {
    value = kLowResistance;
    ui.Form().SetBoxText(box, PlainNumber(value));
  }
}

void AtLeast(double& value, double lower, Ui& ui, int box) {
  if (!(value > lower)) {
    value = lower;
    ui.Form().SetBoxText(box, PlainNumber(value));
  }
}

void AtMost(double& value, Ui& ui, int box) {
  if (value > kCouplingMax) {
    value = kCouplingMax;
    ui.Form().SetBoxText(box, Format(value, "#.##E+##"));
  }
}

double Larger(double jsd1, double jsd2) { return jsd2 > jsd1 ? jsd2 : jsd1; }

}  // namespace

void ReadParameters(State& state, Ui& ui) {
  ParameterForm& form = ui.Form();
  // Decimal commas become points (the first comma of each box that converts them).
  for (int i = 0; i < kParameterCount; ++i) {
    if (!kParameterRows[static_cast<std::size_t>(i)].commaConverted) continue;
    std::string text = form.BoxText(i);
    std::string converted = text;
    Convert(converted);
    if (converted != text) form.SetBoxText(i, converted);
  }
  Parameters& p = state.par;
  for (int i = 0; i < kParameterCount; ++i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    double& value = p.*row.member;
    value = Box(ui, i);
    switch (row.rule) {
      case ReadRule::AsTyped:
        break;
      case ReadRule::Resistance:
        NonZero(value, ui, i);
        break;
      case ReadRule::Coupling:
        AtLeast(value, row.lowerLimit, ui, i);
        AtMost(value, ui, i);
        break;
    }
  }
  p.JsdMax1 = Larger(p.Jsd11, p.Jsd12);
  p.JsdMax2 = Larger(p.Jsd21, p.Jsd22);
  p.JsdMax3 = Larger(p.Jsd31, p.Jsd32);

  AdaptMenus(p, ui.MenuBar());
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
