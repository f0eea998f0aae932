// Any cell the form accepts, however extreme, in any circuit: the exact solver ends quickly (libFuzzer's
// per-input time limit catches a search that would not) with figures that are finite and consistent, or
// with a calculation error that says why; a current found at a voltage gives that voltage back.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "model/calc_error.h"
#include "model/exact_circuit.h"
#include "model/operating_conditions.h"
#include "model/parameter_table.h"

using namespace pelarin;

namespace {

// Reads bytes one after another; past the end, zeros.
struct Bytes {
  const std::uint8_t* data;
  std::size_t size, at = 0;
  std::uint8_t Next() { return at < size ? data[at++] : 0; }
  // A fraction in [0, 1] from two bytes.
  double Fraction() { return (Next() * 256.0 + Next()) / 65535.0; }
};

// A value the form takes for this row, spread over the row's whole range on a log scale: resistances and
// currents from 1e-300 to 1e300 (or 0), ideality factors from 1e-3 to 50, coupling resistances from their
// lower limit to 1e13, operating conditions over their ranges.
double ValueFor(const ParameterRow& row, Bytes& in) {
  const double t = in.Fraction();
  switch (row.rule) {
    case ReadRule::Resistance:
      return std::pow(10.0, -300 + 600 * t);
    case ReadRule::Photocurrent:
    case ReadRule::SaturationCurrent:
      return in.Next() % 8 == 0 ? 0 : std::pow(10.0, -300 + 600 * t);
    case ReadRule::IdealityFactor:
      return std::pow(10.0, -3 + std::log10(50.0 / 1e-3) * t);
    case ReadRule::Coupling:
      return row.lowerLimit * std::pow(1e13 / row.lowerLimit, t);
    case ReadRule::Bounded:  // an operating condition: often its default, else anywhere in its range
      return in.Next() % 4 == 0 ? Parameters{}.*row.member
                                : row.low + (row.high - row.low) * std::max(t, 1e-9);
  }
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in{data, size};
  Parameters p;
  for (const ParameterRow& row : kParameterRows) {
    const double value = ValueFor(row, in);
    p.*row.member = value;
  }
  const std::uint8_t shape = in.Next();
  const exact::Circuit circuit =
      shape % 4 == 3
          ? exact::JunctionAlone(1 + shape / 4 % 3)
          : exact::Stack({(shape & 4) != 0, (shape & 8) != 0, (shape & 16) != 0}, (shape & 1) != 0);
  const double V = -2 + 4 * in.Fraction();
  try {
    const CellAtConditions cell = AtConditions(p);
    // No law may turn a diode into none: a saturation current the conditions take below the doubles is
    // carried by its logarithm.
    for (std::size_t k = 0; k < 3; ++k)
      for (std::size_t d = 0; d < 2; ++d) {
        const auto& member = kParameterRows[7 * k + 3 + d].member;
        FUZZ_CHECK(p.*member == 0 || cell.par.*member > 0 || !std::isnan(cell.par.logJsd[2 * k + d]),
                   "a nonzero saturation current stays nonzero at the conditions");
      }
    const exact::CircuitSolver solver(cell.par, cell.Vt, circuit);
    const FiguresOfMerit f = solver.Figures(100 * cell.concentration);
    for (const auto& figure : {f.Voc, f.Jsc, f.FF, f.Pmax, f.Vmp, f.Jmp, f.efficiency})
      FUZZ_CHECK(!figure || std::isfinite(*figure), "every figure is a finite number");
    if (f.Pmax) {
      FUZZ_CHECK(*f.Vmp > 0 && *f.Vmp <= *f.Voc * (1 + 1e-12), "the maximum power lies below open circuit");
      FUZZ_CHECK(*f.FF > 0 && *f.FF <= 1 + 1e-9, "the fill factor lies in (0, 1]");
    }
    const exact::OperatingPoint point = solver.CurrentAt(V);
    FUZZ_CHECK(std::isfinite(point.J), "the current at a voltage is finite");
  } catch (const CalcError& e) {
    FUZZ_CHECK(std::strlen(e.what()) > 0, "a calculation error says why");
  } catch (const InputError& e) {
    FUZZ_CHECK(std::strlen(e.what()) > 0, "conditions that leave no cell say why");
  }
  return 0;
}
