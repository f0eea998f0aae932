// The 26 parameter boxes of the form: the parameter's name, its label on the form, unit and default text.
#pragma once

#include <array>
#include <string_view>

#include "studies/ui.h"

namespace pelarin {

struct ParameterBox {
  std::string_view name;  // the parameter's own name, e.g. "Jsd11"
  std::string_view label;
  std::string_view unit;
  std::string_view defaultText;
};

inline constexpr std::array<ParameterBox, kParameterCount> kParameterBoxes = {{
    {"Rs1", "Rs1  = ", "Ohm.cm2", "5"},
    {"Rp1", "Rp1  = ", "Ohm.cm2", "5000"},
    {"Jsc1", "Jsc1 = ", "A/cm2", "0.008"},
    {"Jsd11", "Jsd11= ", "A/cm2", "40e-12"},
    {"Jsd12", "Jsd12= ", "A/cm2", "400e-9"},
    {"m11", "md11=", "", "1"},
    {"m12", "md12=", "", "2"},
    {"Rs2", "Rs2  = ", "Ohm.cm2", "5"},
    {"Rp2", "Rp2  = ", "Ohm.cm2", "10000"},
    {"Jsc2", "Jsc2 = ", "A/cm2", "0.012"},
    {"Jsd21", "Jsd21= ", "A/cm2", "1e-12"},
    {"Jsd22", "Jsd22= ", "A/cm2", "80e-9"},
    {"m21", "md21= ", "", "1"},
    {"m22", "md22= ", "", "2"},
    {"Rs3", "Rs3  = ", "Ohm.cm2", "5"},
    {"Rp3", "Rp3  = ", "Ohm.cm2", "500"},
    {"Jsc3", "Jsc3 = ", "A/cm2", "0.016"},
    {"Jsd31", "Jsd31= ", "A/cm2", "50e-9"},
    {"Jsd32", "Jsd32= ", "A/cm2", "1e-6"},
    {"m31", "md31= ", "", "1"},
    {"m32", "md32= ", "", "2"},
    {"Rl1", "Rl1  =  ", "Ohm.cm2", "1e12"},
    {"Rl2", "Rl2  = ", "Ohm.cm2", "1e12"},
    {"Rg1", "Rg1 =", "Ohm.cm2", "1e12"},
    {"Rg2", "Rg2 = ", "Ohm.cm2", "1e12"},
    {"Rg3", "Rg3 = ", "Ohm.cm2", "1e12"},
}};

// The box index of a parameter by its name ("Jsc2" or its form label "md11"), or -1.
[[nodiscard]] constexpr int ParameterIndex(std::string_view name) {
  for (int i = 0; i < kParameterCount; ++i) {
    const ParameterBox& box = kParameterBoxes[static_cast<std::size_t>(i)];
    if (box.name == name) return i;
    std::string_view label = box.label;
    while (!label.empty() && (label.back() == ' ' || label.back() == '=')) label.remove_suffix(1);
    if (label == name) return i;
  }
  return -1;
}

}  // namespace pelarin
