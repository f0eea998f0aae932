// The quantities of the form, one row each: the 26 parameters of the cell at the reference conditions, then
// its operating conditions. Each row gives the quantity's name, its box on the form (label, unit, default
// text), its line in the parameter file (label, mask), the member of Parameters it sets, how its box is
// read, and its group on the form. The form, the reading of the form, the parameter file, the batch tool,
// the scans, the fit, the Python module and the tests all use these rows.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "model/state.h"

namespace pelarin {

// The 26 parameters of the cell: the parameter file's fixed lines and the circuit's own quantities.
inline constexpr int kCellParameterCount = 26;
// Every box of the form: the cell's 26 parameters, the 8 operating conditions after them, then the 11
// quantities of the coupling physics (luminescent coupling and reverse breakdown).
inline constexpr int kParameterCount = 45;
// The first box of the coupling physics.
inline constexpr int kFirstPhysicsIndex = 34;

// Which values a box accepts, and how it corrects the ones it takes but changes.
enum class ReadRule {
  Resistance,         // series or parallel: zero or empty becomes 0.001 (shown); negative is refused
  Photocurrent,       // 0 (a dark junction) or above
  SaturationCurrent,  // 0 (a junction with one diode) or above
  IdealityFactor,     // above 0
  Coupling,           // not above its lower limit (empty included) becomes that limit; above 1e13, 1e13
  Bounded,            // within the row's range, each end taken or not as the row says
};

// Where a box sits on the form: the three junctions' columns, the coupling resistances, the conditions, the
// coupling physics.
enum class FormGroup { Junction, Coupling, Conditions, Physics };

struct ParameterRow {
  std::string_view name;   // the parameter's own name, e.g. "Jsd11"
  std::string_view label;  // on the form
  std::string_view unit;   // on the form, after the box
  std::string_view defaultText;
  std::string_view fileLabel;  // ahead of the value in the parameter file
  std::string_view fileMask;   // the value's mask in the parameter file
  double Parameters::*member;
  ReadRule rule;
  double lowerLimit;  // Coupling only
  FormGroup group = FormGroup::Junction;
  // Bounded only: the range of the values the box takes, what its value is ("the temperature") and whether
  // each end itself is taken.
  double low = 0, high = 0;
  bool lowClosed = true;
  std::string_view quantity = {};
  // Whether a fit may leave it free (a curve's temperature is measured, not fitted).
  bool fittable = true;
  // Bounded only: the step of the box's value for the mouse wheel, or 0 when it steps by a factor (on a
  // log scale, as the resistances do).
  double linearStep = 0;
  bool highClosed = true;
  // Bounded only: a fit's default bounds, and a scan's default range, where the whole range is too wide or
  // has an open end (both 0: the range).
  double fitLow = 0, fitHigh = 0;
  // Whether the parameter file holds its line only when its value is not the default.
  [[nodiscard]] constexpr bool OptionalFileLine() const {
    return group == FormGroup::Conditions || group == FormGroup::Physics;
  }
  // Whether a value lies in a Bounded row's range.
  [[nodiscard]] constexpr bool InRange(double value) const {
    return (lowClosed ? value >= low : value > low) && (highClosed ? value <= high : value < high);
  }
  // Whether its values are seen in ratios (a log scale): resistances, saturation currents, concentration.
  [[nodiscard]] constexpr bool LogScale() const {
    return rule == ReadRule::Resistance || rule == ReadRule::SaturationCurrent ||
           rule == ReadRule::Coupling || (rule == ReadRule::Bounded && linearStep == 0);
  }
};

inline constexpr std::string_view kExponentMask = "#.##E+##";
inline constexpr std::string_view kIdealityMask = "#.##";

// Rows 0..25 are boxes 0..25 of the form and lines 1..26 of the parameter file; the conditions follow, each a
// line of its own after the 26 when its value is not the default. The conditions' defaults are the
// reference conditions: the 26 parameters are the cell there, and every law of the conditions is 1. The
// coupling physics follows the same way; its defaults turn both effects off.
// clang-format off
inline constexpr std::array<ParameterRow, kParameterCount> kParameterRows = {{
    {"Rs1", "Rs1  = ", "Ohm.cm2", "5", "Rs1=  ", kExponentMask, &Parameters::Rs1, ReadRule::Resistance, 0},
    {"Rp1", "Rp1  = ", "Ohm.cm2", "5000", "Rp1= ", kExponentMask, &Parameters::Rp1, ReadRule::Resistance, 0},
    {"Jsc1", "Jsc1 = ", "A/cm2", "0.008", "Jsc1= ", kExponentMask, &Parameters::Jsc1, ReadRule::Photocurrent, 0},
    {"Jsd11", "Jsd11= ", "A/cm2", "40e-12", "Jsd11= ", kExponentMask, &Parameters::Jsd11, ReadRule::SaturationCurrent, 0},
    {"Jsd12", "Jsd12= ", "A/cm2", "400e-9", "Jsd12= ", kExponentMask, &Parameters::Jsd12, ReadRule::SaturationCurrent, 0},
    {"m11", "md11=", "", "1", "m11= ", kIdealityMask, &Parameters::m11, ReadRule::IdealityFactor, 0},
    {"m12", "md12=", "", "2", "m12= ", kIdealityMask, &Parameters::m12, ReadRule::IdealityFactor, 0},
    {"Rs2", "Rs2  = ", "Ohm.cm2", "5", "Rs2=  ", kExponentMask, &Parameters::Rs2, ReadRule::Resistance, 0},
    {"Rp2", "Rp2  = ", "Ohm.cm2", "10000", "Rp2= ", kExponentMask, &Parameters::Rp2, ReadRule::Resistance, 0},
    {"Jsc2", "Jsc2 = ", "A/cm2", "0.012", "Jsc2= ", kExponentMask, &Parameters::Jsc2, ReadRule::Photocurrent, 0},
    {"Jsd21", "Jsd21= ", "A/cm2", "1e-12", "Jsd21= ", kExponentMask, &Parameters::Jsd21, ReadRule::SaturationCurrent, 0},
    {"Jsd22", "Jsd22= ", "A/cm2", "80e-9", "Jsd22= ", kExponentMask, &Parameters::Jsd22, ReadRule::SaturationCurrent, 0},
    {"m21", "md21= ", "", "1", "m21= ", kIdealityMask, &Parameters::m21, ReadRule::IdealityFactor, 0},
    {"m22", "md22= ", "", "2", "m22= ", kIdealityMask, &Parameters::m22, ReadRule::IdealityFactor, 0},
    {"Rs3", "Rs3  = ", "Ohm.cm2", "5", "Rs3=  ", kExponentMask, &Parameters::Rs3, ReadRule::Resistance, 0},
    {"Rp3", "Rp3  = ", "Ohm.cm2", "500", "Rp3= ", kExponentMask, &Parameters::Rp3, ReadRule::Resistance, 0},
    {"Jsc3", "Jsc3 = ", "A/cm2", "0.016", "Jsc3= ", kExponentMask, &Parameters::Jsc3, ReadRule::Photocurrent, 0},
    {"Jsd31", "Jsd31= ", "A/cm2", "50e-9", "Jsd31= ", kExponentMask, &Parameters::Jsd31, ReadRule::SaturationCurrent, 0},
    {"Jsd32", "Jsd32= ", "A/cm2", "1e-6", "Jsd32= ", kExponentMask, &Parameters::Jsd32, ReadRule::SaturationCurrent, 0},
    {"m31", "md31= ", "", "1", "m31= ", kIdealityMask, &Parameters::m31, ReadRule::IdealityFactor, 0},
    {"m32", "md32= ", "", "2", "m32= ", kIdealityMask, &Parameters::m32, ReadRule::IdealityFactor, 0},
    {"Rl1", "Rl1  =  ", "Ohm.cm2", "1e12", "Rl1= ", kExponentMask, &Parameters::Rl1, ReadRule::Coupling, 5, FormGroup::Coupling},
    {"Rl2", "Rl2  = ", "Ohm.cm2", "1e12", "Rl2= ", kExponentMask, &Parameters::Rl2, ReadRule::Coupling, 10, FormGroup::Coupling},
    {"Rg1", "Rg1 =", "Ohm.cm2", "1e12", "Rg1= ", kExponentMask, &Parameters::Rg1, ReadRule::Coupling, 10, FormGroup::Coupling},
    {"Rg2", "Rg2 = ", "Ohm.cm2", "1e12", "Rg2= ", kExponentMask, &Parameters::Rg2, ReadRule::Coupling, 10, FormGroup::Coupling},
    {"Rg3", "Rg3 = ", "Ohm.cm2", "1e12", "Rg3= ", kExponentMask, &Parameters::Rg3, ReadRule::Coupling, 10, FormGroup::Coupling},
    {.name = "T", .label = "T = ", .unit = "\xC2\xB0""C", .defaultText = "26.85", .fileLabel = "T= ",
     .fileMask = "", .member = &Parameters::T, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = -273.15, .high = 400, .lowClosed = false,
     .quantity = "the temperature", .fittable = false, .linearStep = 1, .fitLow = -20, .fitHigh = 100},
    {.name = "X", .label = "X = ", .unit = "suns", .defaultText = "1", .fileLabel = "X= ",
     .fileMask = "", .member = &Parameters::X, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = 0, .high = 1e5, .lowClosed = false,
     .quantity = "the concentration", .fittable = true, .linearStep = 0},
    {.name = "Eg1", .label = "Eg1 = ", .unit = "eV", .defaultText = "0.67", .fileLabel = "Eg1= ",
     .fileMask = "", .member = &Parameters::Eg1, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = 0.1, .high = 6, .lowClosed = true,
     .quantity = "a band gap", .fittable = true, .linearStep = 0.01},
    {.name = "Eg2", .label = "Eg2 = ", .unit = "eV", .defaultText = "1.40", .fileLabel = "Eg2= ",
     .fileMask = "", .member = &Parameters::Eg2, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = 0.1, .high = 6, .lowClosed = true,
     .quantity = "a band gap", .fittable = true, .linearStep = 0.01},
    {.name = "Eg3", .label = "Eg3 = ", .unit = "eV", .defaultText = "1.85", .fileLabel = "Eg3= ",
     .fileMask = "", .member = &Parameters::Eg3, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = 0.1, .high = 6, .lowClosed = true,
     .quantity = "a band gap", .fittable = true, .linearStep = 0.01},
    {.name = "alpha1", .label = "alpha1 = ", .unit = "1/K", .defaultText = "0", .fileLabel = "alpha1= ",
     .fileMask = "", .member = &Parameters::alpha1, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = -0.1, .high = 0.1, .lowClosed = true,
     .quantity = "a temperature coefficient", .fittable = true, .linearStep = 1e-4},
    {.name = "alpha2", .label = "alpha2 = ", .unit = "1/K", .defaultText = "0", .fileLabel = "alpha2= ",
     .fileMask = "", .member = &Parameters::alpha2, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = -0.1, .high = 0.1, .lowClosed = true,
     .quantity = "a temperature coefficient", .fittable = true, .linearStep = 1e-4},
    {.name = "alpha3", .label = "alpha3 = ", .unit = "1/K", .defaultText = "0", .fileLabel = "alpha3= ",
     .fileMask = "", .member = &Parameters::alpha3, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Conditions, .low = -0.1, .high = 0.1, .lowClosed = true,
     .quantity = "a temperature coefficient", .fittable = true, .linearStep = 1e-4},
    {.name = "beta2", .label = "beta2 = ", .unit = "", .defaultText = "0", .fileLabel = "beta2= ",
     .fileMask = "", .member = &Parameters::beta2, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 1, .lowClosed = true,
     .quantity = "a luminescent coupling fraction", .fittable = true, .linearStep = 0.01, .highClosed = true},
    {.name = "beta3", .label = "beta3 = ", .unit = "", .defaultText = "0", .fileLabel = "beta3= ",
     .fileMask = "", .member = &Parameters::beta3, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 1, .lowClosed = true,
     .quantity = "a luminescent coupling fraction", .fittable = true, .linearStep = 0.01, .highClosed = true},
    {.name = "Abd1", .label = "Abd1 = ", .unit = "", .defaultText = "0", .fileLabel = "Abd1= ",
     .fileMask = "", .member = &Parameters::Abd1, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 1e6, .lowClosed = true,
     .quantity = "a breakdown strength", .fittable = true, .linearStep = 0.01, .highClosed = true,
     .fitLow = 0, .fitHigh = 10},
    {.name = "Abd2", .label = "Abd2 = ", .unit = "", .defaultText = "0", .fileLabel = "Abd2= ",
     .fileMask = "", .member = &Parameters::Abd2, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 1e6, .lowClosed = true,
     .quantity = "a breakdown strength", .fittable = true, .linearStep = 0.01, .highClosed = true,
     .fitLow = 0, .fitHigh = 10},
    {.name = "Abd3", .label = "Abd3 = ", .unit = "", .defaultText = "0", .fileLabel = "Abd3= ",
     .fileMask = "", .member = &Parameters::Abd3, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 1e6, .lowClosed = true,
     .quantity = "a breakdown strength", .fittable = true, .linearStep = 0.01, .highClosed = true,
     .fitLow = 0, .fitHigh = 10},
    {.name = "Vbd1", .label = "Vbd1 = ", .unit = "V", .defaultText = "-20", .fileLabel = "Vbd1= ",
     .fileMask = "", .member = &Parameters::Vbd1, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = -1e4, .high = 0, .lowClosed = false,
     .quantity = "a breakdown voltage", .fittable = true, .linearStep = 0.5, .highClosed = false,
     .fitLow = -100, .fitHigh = -1},
    {.name = "Vbd2", .label = "Vbd2 = ", .unit = "V", .defaultText = "-20", .fileLabel = "Vbd2= ",
     .fileMask = "", .member = &Parameters::Vbd2, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = -1e4, .high = 0, .lowClosed = false,
     .quantity = "a breakdown voltage", .fittable = true, .linearStep = 0.5, .highClosed = false,
     .fitLow = -100, .fitHigh = -1},
    {.name = "Vbd3", .label = "Vbd3 = ", .unit = "V", .defaultText = "-20", .fileLabel = "Vbd3= ",
     .fileMask = "", .member = &Parameters::Vbd3, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = -1e4, .high = 0, .lowClosed = false,
     .quantity = "a breakdown voltage", .fittable = true, .linearStep = 0.5, .highClosed = false,
     .fitLow = -100, .fitHigh = -1},
    {.name = "nbd1", .label = "nbd1 = ", .unit = "", .defaultText = "3.28", .fileLabel = "nbd1= ",
     .fileMask = "", .member = &Parameters::nbd1, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 100, .lowClosed = false,
     .quantity = "a breakdown exponent", .fittable = true, .linearStep = 0.1, .highClosed = true,
     .fitLow = 1, .fitHigh = 10},
    {.name = "nbd2", .label = "nbd2 = ", .unit = "", .defaultText = "3.28", .fileLabel = "nbd2= ",
     .fileMask = "", .member = &Parameters::nbd2, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 100, .lowClosed = false,
     .quantity = "a breakdown exponent", .fittable = true, .linearStep = 0.1, .highClosed = true,
     .fitLow = 1, .fitHigh = 10},
    {.name = "nbd3", .label = "nbd3 = ", .unit = "", .defaultText = "3.28", .fileLabel = "nbd3= ",
     .fileMask = "", .member = &Parameters::nbd3, .rule = ReadRule::Bounded, .lowerLimit = 0,
     .group = FormGroup::Physics, .low = 0, .high = 100, .lowClosed = false,
     .quantity = "a breakdown exponent", .fittable = true, .linearStep = 0.1, .highClosed = true,
     .fitLow = 1, .fitHigh = 10},
}};
// clang-format on

// The box index of a parameter by its name ("Jsc2") or its form label ("md11"), or -1.
[[nodiscard]] constexpr int ParameterIndex(std::string_view name) {
  for (int i = 0; i < kParameterCount; ++i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    if (row.name == name) return i;
    std::string_view label = row.label;
    while (!label.empty() && (label.back() == ' ' || label.back() == '=')) label.remove_suffix(1);
    if (label == name) return i;
  }
  return -1;
}

// The name of the parameter in a box ("Jsc2").
[[nodiscard]] inline std::string ParameterName(int index) {
  return std::string(kParameterRows[static_cast<std::size_t>(index)].name);
}

}  // namespace pelarin
