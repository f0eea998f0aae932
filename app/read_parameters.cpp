#include <string>

#include "app/shell.h"
#include "model/numtext.h"

namespace pelarin {
namespace {

constexpr double kLowResistance = 0.001;
constexpr double kCouplingMax = 1e13;

double Box(Ui& ui, int index) { return Val(ui.Form().Text1(index)); }

// A zero series or parallel resistance becomes 0.001, and the box shows the value used.
void NonZero(double& value, Ui& ui, int box) {
  if (value == 0) {
    value = kLowResistance;
    ui.Form().SetText1(box, PlainNumber(value));
  }
}

void AtLeast(double& value, double lower, Ui& ui, int box) {
  if (!(value > lower)) {
    value = lower;
    ui.Form().SetText1(box, PlainNumber(value));
  }
}

void AtMost(double& value, Ui& ui, int box) {
  if (value > kCouplingMax) {
    value = kCouplingMax;
    ui.Form().SetText1(box, Format(value, "#.##E+##"));
  }
}

double Larger(double jsd1, double jsd2) { return jsd2 > jsd1 ? jsd2 : jsd1; }

}  // namespace

void ReadParameters(State& state, Ui& ui) {
  ParameterForm& form = ui.Form();
  // Decimal commas of boxes 1 to 24 become points (the first comma of each box).
  for (int i = 1; i <= 24; ++i) {
    std::string text = form.Text1(i);
    std::string converted = text;
    Convert(converted);
    if (converted != text) form.SetText1(i, converted);
  }
  Parameters& p = state.par;

  p.Rp1 = Box(ui, 1);
  p.Rs1 = Box(ui, 0);
  NonZero(p.Rp1, ui, 1);
  NonZero(p.Rs1, ui, 0);
  p.m11 = Box(ui, 5);
  p.m12 = Box(ui, 6);
  p.Jsc1 = Box(ui, 2);
  p.Jsd11 = Box(ui, 3);
  p.Jsd12 = Box(ui, 4);
  p.JsdMax1 = Larger(p.Jsd11, p.Jsd12);

  p.Rp2 = Box(ui, 8);
  p.Rs2 = Box(ui, 7);
  NonZero(p.Rp2, ui, 8);
  NonZero(p.Rs2, ui, 7);
  p.m21 = Box(ui, 12);
  p.m22 = Box(ui, 13);
  p.Jsc2 = Box(ui, 9);
  p.Jsd21 = Box(ui, 10);
  p.Jsd22 = Box(ui, 11);
  p.JsdMax2 = Larger(p.Jsd21, p.Jsd22);

  p.Rp3 = Box(ui, 15);
  p.Rs3 = Box(ui, 14);
  NonZero(p.Rp3, ui, 15);
  NonZero(p.Rs3, ui, 14);
  p.m31 = Box(ui, 19);
  p.m32 = Box(ui, 20);
  p.Jsc3 = Box(ui, 16);
  p.Jsd31 = Box(ui, 17);
  p.Jsd32 = Box(ui, 18);
  p.JsdMax3 = Larger(p.Jsd31, p.Jsd32);

  p.Rl1 = Box(ui, 21);
  p.Rl2 = Box(ui, 22);
  AtLeast(p.Rl1, 5, ui, 21);
  AtLeast(p.Rl2, 10, ui, 22);
  AtMost(p.Rl1, ui, 21);
  AtMost(p.Rl2, ui, 22);

  p.Rg1 = Box(ui, 23);
  p.Rg2 = Box(ui, 24);
  p.Rg3 = Box(ui, 25);
  AtLeast(p.Rg1, 10, ui, 23);
  AtLeast(p.Rg2, 10, ui, 24);
  AtLeast(p.Rg3, 10, ui, 25);
  AtMost(p.Rg1, ui, 23);
  AtMost(p.Rg2, ui, 24);
  AtMost(p.Rg3, ui, 25);

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
