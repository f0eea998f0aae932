// Writes the program's icon, drawn by the window program's own schematic code, as the icon theme wants it:
// an SVG and PNGs of 48, 128 and 256 pixels. Usage: pelarin_icon_writer FOLDER (FOLDER/pelarin.svg,
// FOLDER/48x48/pelarin.png, ...). Runs without a display (the offscreen platform).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "app/qt/stack_schematic.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: pelarin_icon_writer FOLDER\n", stderr);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  QSvgGenerator svg;
  svg.setFileName(folder.filePath("pelarin.svg"));
  svg.setSize({64, 64});
  svg.setViewBox(QRectF(0, 0, 64, 64));
  svg.setTitle("Pelarin");
  svg.setDescription("Light on a stack of three junctions");
  {
    QPainter p(&svg);
    pelarin::DrawStackIcon(p, 64);
  }
  for (const int side : {48, 128, 256}) {
    const QString size = QString("%1x%1").arg(side);
    if (!folder.mkpath(size)) return 1;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      pelarin::DrawStackIcon(p, side);
    }
    if (!image.save(folder.filePath(size + "/pelarin.png"))) return 1;
  }
  return 0;
}
