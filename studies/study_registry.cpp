#include "studies/study_registry.h"

#include "studies/coupled_studies.h"
#include "studies/eqe_artefact_study.h"
#include "studies/studies.h"

namespace pelarin {
namespace {

using M = MenuItem;
constexpr Availability kAlways{};
constexpr Availability kAllLit{.needsAllLit = true};

constexpr Availability PairEntry(int junction, std::string_view allLit, std::string_view partial) {
  return {.needsAllLit = false, .junction = junction, .allLitCaption = allLit, .partialCaption = partial};
}

constexpr Colour kOrange = 33023;
constexpr std::array<Colour, 4> kJunctionColours = {0, Rgb(0xFF, 0, 0), Rgb(0, 0xFF, 0), Rgb(0, 0, 0xFF)};
constexpr std::array<Colour, 4> kDarkJunctionColours = {0, 128, 32768, 8388608};
constexpr ExactCurvesOfStudy kNoLitCurves{};
constexpr ExactCurvesOfStudy Exact(LitCurves curves, bool coupled, std::string_view labelSuffix,
                                   std::array<Colour, 4> colours) {
  return {curves, coupled, labelSuffix, colours};
}

constexpr StudyEntry kStudies[] = {
    {"&Independent", M::Calculations, "Independent junctions", "independent",
     "each junction alone, illuminated and dark (the form's Calculation button)", kAlways, IndependentStudy,
     Exact(LitCurves::EachJunctionAlone, false, "_All junctions_independent", kJunctionColours)},
    {"Without Rl", M::AllJunctions, "All junctions without Rl", "all",
     "the three-junction stack without Rl, lit and dark", kAlways, StudyAllJunctions,
     Exact(LitCurves::AllLit, false, "_All junctions", {0, kOrange})},
    {"With Rl + Rg", M::AllJunctions, "All junctions with Rl + Rg", "all-rl",
     "the three-junction stack inside the Rl/Rg network, lit and dark (needs all three photocurrents)",
     kAllLit, StudyWithRl, Exact(LitCurves::AllLit, true, "_3 junctions_wRl", {0, kOrange})},
    {"Without Rl", M::TwoJunctions, "2 junctions without Rl", "two",
     "the stack with each pair of junctions lit (needs all three photocurrents nonzero)", kAllLit,
     StudyTwoJunctions, Exact(LitCurves::EachPairLit, false, "_2 junctions", kDarkJunctionColours)},
    {"With Rl + Rg", M::TwoJunctions, "2 junctions with Rl + Rg", "two-rl",
     "each pair of junctions lit, inside the Rl/Rg network (needs all three photocurrents)", kAllLit,
     StudyTwoWithRl, Exact(LitCurves::EachPairLit, true, "_2 junctions_wRl", kDarkJunctionColours)},
    {"Without Rl", M::OneJunction, "1 junction without Rl", "one", "the stack with each lit junction alone",
     kAlways, StudyOneJunction, Exact(LitCurves::EachOneLit, false, "_1 junction", kJunctionColours)},
    {"With Rl + Rg", M::OneJunction, "1 junction with Rl + Rg", "one-rl",
     "each junction lit alone, inside the Rl/Rg network (needs all three photocurrents)", kAllLit,
     StudyOneWithRl, Exact(LitCurves::EachOneLit, true, "_1 junction_wRl", kJunctionColours)},
    {"Illuminated", M::EqeAllJunctions, "EQE illuminated", "eqe-ill",
     "EQE artefacts of the stack with all junctions lit", kAlways, EqeIlluminatedStudy, kNoLitCurves},
    {"Dark", M::EqeAllJunctions, "EQE dark", "eqe-dark", "EQE artefacts of the dark stack", kAlways,
     EqeDarkStudy, kNoLitCurves},
    {"1 and 2 Illuminated", M::EqeTwoJunctions, "EQE 1 and 2 illuminated", "eqe-12",
     "EQE artefacts with junctions 1 and 2 lit (needs Jsc1 nonzero)",
     PairEntry(1, "1 and 2 illuminated", "1 illuminated"), EqePair12Study, kNoLitCurves},
    {"1 and 3 Illuminated", M::EqeTwoJunctions, "EQE 1 and 3 illuminated", "eqe-13",
     "EQE artefacts with junctions 1 and 3 lit (needs Jsc3 nonzero)",
     PairEntry(3, "1 and 3 illuminated", "3 illuminated"), EqePair13Study, kNoLitCurves},
    {"2 and 3 Illuminated", M::EqeTwoJunctions, "EQE 2 and 3 illuminated", "eqe-23",
     "EQE artefacts with junctions 2 and 3 lit (needs Jsc2 nonzero)",
     PairEntry(2, "2 and 3 illuminated", "2 illuminated"), EqePair23Study, kNoLitCurves},
};

}  // namespace

std::span<const StudyEntry> Studies() { return kStudies; }

const StudyEntry* FindStudy(std::string_view batchName) {
  for (const StudyEntry& study : kStudies)
    if (study.batchName == batchName) return &study;
  return nullptr;
}

MenuItem MenuItemOf(const StudyEntry& study) {
  return StudyMenuItem(static_cast<std::size_t>(&study - Studies().data()));
}

std::vector<StudyMenuEntry> StudyMenuEntries() {
  std::vector<StudyMenuEntry> entries;
  for (const StudyEntry& study : kStudies)
    entries.push_back({MenuItemOf(study), study.parent, study.caption, study.availability});
  return entries;
}

}  // namespace pelarin
