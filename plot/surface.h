// The drawing surface of a plot window: user coordinates set by two corners, colours, styles, pen, lines,
// filled circles and text at the pen. The axes procedures and the studies draw only through it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/figures_of_merit.h"

namespace pelarin {

// A colour as a 24-bit blue-green-red integer: red 255, green 65280, blue 16711680.
using Colour = std::uint32_t;

[[nodiscard]] constexpr Colour Rgb(int r, int g, int b) {
  return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}
[[nodiscard]] constexpr int RedOf(Colour c) { return static_cast<int>(c & 0xFF); }
[[nodiscard]] constexpr int GreenOf(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
[[nodiscard]] constexpr int BlueOf(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

// An entry of the classic 16-colour palette (0 black, 2 dark green, 4 dark red, 8 grey, 15 white, ...).
[[nodiscard]] Colour PaletteColour(int index);

enum class DrawStyle { Solid, Invisible };
enum class FillStyle { Solid = 0, Transparent = 1 };
inline constexpr int kCopyPen = 13;

// What a plot says around its drawing: its title, the titles of its axes, and whether its y coordinate is
// the natural logarithm of the quantity the y title names (the lin-log window).
struct PlotTitles {
  std::string title;
  std::string xTitle;
  std::string yTitle;
  bool logY = false;
};

// A curve as the legend lists it: its name, colour and marker, and the figures of merit of a lit J(V) curve.
struct LegendEntry {
  std::string name;
  Colour colour = 0;
  bool hollow = false;  // open circles (measured data)
  std::optional<FiguresOfMerit> figures;
};

// Where a label stands against the pen; the renderer places it from the font's metrics, clear of the
// labels beside it: left of the pen and centred on it (the labels of a vertical axis), below it and centred
// (a horizontal axis), above and to the left of it (the power of ten of a vertical axis, at the frame's top
// left corner), below the labels under it and ending at it (the power of ten of a horizontal axis, at the
// frame's bottom right corner).
enum class LabelPlace { LeftOf = 0, Below = 1, AboveLeft = 2, BelowRight = 3 };

class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  virtual void SetWindowStateNormal() = 0;
  // Scale width/height: a coordinate system with origin top-left and these extents.
  virtual void SetScaleWidth(double width) = 0;
  virtual void SetScaleHeight(double height) = 0;
  [[nodiscard]] virtual double ScaleWidth() const = 0;
  [[nodiscard]] virtual double ScaleHeight() const = 0;
  // User coordinates from the top-left and bottom-right corners (y grows upwards when top > bottom).
  virtual void SetUserCoordinates(double left, double top, double right, double bottom) = 0;
  virtual void SetBackColour(Colour colour) = 0;
  virtual void SetForeColour(Colour colour) = 0;
  virtual void SetFillColour(Colour colour) = 0;
  virtual void SetFillStyle(FillStyle style) = 0;
  virtual void SetDrawMode(int mode) = 0;
  virtual void SetDrawStyle(DrawStyle style) = 0;
  virtual void SetDrawWidth(int width) = 0;
  // Moves the pen without drawing.
  virtual void SetPen(double x, double y) = 0;
  // Draws from the pen to (x, y) in colour (nothing visible with the invisible style); the pen moves there.
  virtual void LineTo(double x, double y, Colour colour) = 0;
  // Circle of radius (x user units) drawn in colour and filled per the fill style and fill colour.
  virtual void Circle(double x, double y, double radius, Colour colour) = 0;
  // Fills the rectangle between the corners (x1, y1) and (x2, y2) with colour, without an outline; the pen
  // stays where it is. Colour maps are painted with it.
  virtual void FillRect(double x1, double y1, double x2, double y2, Colour colour) = 0;
  // Writes text with its top-left corner at the pen, in the fore colour.
  virtual void Print(const std::string& text) = 0;
  // Writes a label placed against the pen, with exponent (when not empty) raised after the text, in the
  // fore colour: "10" with "-3" reads as ten to the minus three.
  virtual void Label(const std::string& text, const std::string& exponent, LabelPlace place) = 0;
  // The title and axis titles shown with the drawing.
  virtual void SetTitles(const PlotTitles& titles) = 0;
  // Starts a curve: the circles drawn after it, up to the next curve, are its points; the legend lists it.
  virtual void BeginCurve(const LegendEntry& entry) = 0;
  // Erases everything to the background colour.
  virtual void Clear() = 0;
};

}  // namespace pelarin
