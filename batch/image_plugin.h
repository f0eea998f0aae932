// The batch tool's image plugin: renders a recorded plot to a BMP, PNG or SVG file with Qt Gui and Svg. The
// batch tool loads it only when asked for images, so that a run without images loads no Qt library at all.
#pragma once

#include "plot/recording_surface.h"

// The file name of the plugin, looked for beside the batch tool.
inline constexpr const char* kImagePluginFile = "pelarin-batch-images.so";

extern "C" {
// Saves the drawing as an image of width x height pixels at path, in the format of its suffix (.bmp, .png,
// .svg); 1 on success, 0 when it cannot.
using SavePlotImageFunction = int (*)(const pelarin::RecordingSurface* drawing, int width, int height,
                                      const char* path);
inline constexpr const char* kSavePlotImageSymbol = "pelarin_save_plot_image";

// Ends the plugin's Qt application before the program exits.
using FinishImagesFunction = void (*)();
inline constexpr const char* kFinishImagesSymbol = "pelarin_finish_images";
}
