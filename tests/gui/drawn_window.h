// What the window tests compare: the curves a window's plots show and the files a folder holds.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QStringList>

#include "app/qt/main_window.h"
#include "plot/qt/plot_window_widget.h"

namespace pelarin::testing {

// The names, legend figures (Voc, Pmax) and points of a plot window's curves, to the last digit.
inline QStringList CurvesOf(const PlotWindowWidget* plot) {
  QStringList curves;
  for (const DrawnCurve& curve : plot->Drawing().Curves()) {
    QString text = QString::fromStdString(curve.entry.name);
    if (const auto& figures = curve.entry.figures) {
      if (figures->Voc) text += QString(" Voc=%1").arg(*figures->Voc, 0, 'g', 17);
      if (figures->Pmax) text += QString(" Pmax=%1").arg(*figures->Pmax, 0, 'g', 17);
    }
    for (const auto& [x, y] : curve.points) text += QString(" %1,%2").arg(x, 0, 'g', 17).arg(y, 0, 'g', 17);
    curves << text;
  }
  return curves;
}

// Both plot windows' curves, lit then dark.
inline QStringList CurvesOf(MainWindow& window) {
  return CurvesOf(window.Linlin()) + CurvesOf(window.Linlog());
}

// The files and folders below folder, relative to it, in name order.
inline QStringList FilesBelow(const QString& folder) {
  QStringList files;
  QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) files << QDir(folder).relativeFilePath(it.next());
  files.sort();
  return files;
}

}  // namespace pelarin::testing
