#include "studies/stack_curve.h"

#include <cmath>

namespace pelarin {

void StackCurve::Add(const SweepState& sweep, int index, bool absoluteCurrent) {
  const auto i = static_cast<std::size_t>(index);
  v_.push_back(sweep.resVtot[i]);
  j_.push_back(absoluteCurrent ? std::abs(sweep.resJ[i]) : sweep.resJ[i]);
  v1_.push_back(sweep.resV1[i]);
  v2_.push_back(sweep.resV2[i]);
  v3_.push_back(sweep.resV3[i]);
}

void StackCurve::AddPoint(double v, double j, double v1, double v2, double v3) {
  v_.push_back(v);
  j_.push_back(j);
  v1_.push_back(v1);
  v2_.push_back(v2);
  v3_.push_back(v3);
}

void StackCurve::AppendSweep(const SweepState& sweep, int first, int last, bool absoluteCurrent) {
  for (int i = first; i <= last; ++i) Add(sweep, i, absoluteCurrent);
}

void StackCurve::AppendSweepReversed(const SweepState& sweep, int first, int last) {
  for (int i = last; i >= first; --i) Add(sweep, i, false);
}

CurveBounds StackCurve::Bounds() const {
  CurveBounds bounds{1e12, -20, 1e12, -20};
  Extend(bounds);
  return bounds;
}

void StackCurve::Extend(CurveBounds& b) const {
  for (std::size_t i = 0; i < v_.size(); ++i) {
    if (v_[i] < b.xMin) b.xMin = v_[i];
    if (v_[i] > b.xMax) b.xMax = v_[i];
    if (j_[i] < b.yMin) b.yMin = j_[i];
    if (j_[i] > b.yMax) b.yMax = j_[i];
  }
}

}  // namespace pelarin
