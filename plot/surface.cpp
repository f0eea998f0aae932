#include "plot/surface.h"

#include <array>

namespace pelarin {

Colour PaletteColour(int index) {
  // The classic 16-colour palette.
  static constexpr std::array<Colour, 16> kPalette = {
      Rgb(0, 0, 0),       Rgb(0, 0, 128),   Rgb(0, 128, 0),   Rgb(0, 128, 128),
      Rgb(128, 0, 0),     Rgb(128, 0, 128), Rgb(128, 128, 0), Rgb(192, 192, 192),
      Rgb(128, 128, 128), Rgb(0, 0, 255),   Rgb(0, 255, 0),   Rgb(0, 255, 255),
      Rgb(255, 0, 0),     Rgb(255, 0, 255), Rgb(255, 255, 0), Rgb(255, 255, 255)};
  return kPalette[static_cast<std::size_t>(index) & 15u];
}

}  // namespace pelarin
