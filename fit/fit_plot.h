// The pictures of a fit: each measured curve as points with the fitted model as a line (the lit curves on
// linear axes, the dark ones on the linear-log axes), and the residuals of every curve against voltage.
#pragma once

#include "fit/fit.h"
#include "plot/recording_surface.h"

namespace pelarin::fit {

enum class FitPicture { Lit, Dark, Residuals };

// Whether the fit has curves for the picture (the residuals always).
[[nodiscard]] bool HasPicture(const FitOptions& options, FitPicture picture);

// Draws the picture of the fitted parameters on surface.
void DrawFitPicture(const FitOptions& options, const FitResult& result, FitPicture picture,
                    RecordingSurface& surface);

}  // namespace pelarin::fit
