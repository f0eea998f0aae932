// The image renderer: filled and hollow circles; and the two typical plots,
// drawn as a study draws them, with nothing clipped at the window's edges. Set PELARIN_PLOT_PREVIEW_DIR to a
// folder to also get the typical plots there as PNG images.
#include <QDir>
#include <QImage>
#include <QtTest>
#include <cmath>

#include "model/state.h"
#include "plot/linear_axes.h"
#include "plot/log_axes.h"
#include "plot/qt/plot_image.h"
#include "plot/recording_surface.h"

using namespace pelarin;

namespace {

QRgb Pixel(const QImage& image, QPointF at) { return image.pixel(at.toPoint()) & 0xFFFFFF; }
QRgb Rgb32(Colour c) { return qRgb(RedOf(c), GreenOf(c), BlueOf(c)) & 0xFFFFFF; }
const QRgb kWhite = 0xFFFFFF;

// A lit stack curve (three junctions, 8 mA/cm2, open circuit near 2.6 V) and its dark curve, with the
// colours the three-junction study gives them.
RecordingSurface LitPlot() {
  RecordingSurface linlin;
  PlotState plot;
  DrawLinLinAxes(linlin, plot, -0.5, 2.9, 0, 0.01);
  linlin.SetFillStyle(FillStyle::Solid);
  linlin.SetFillColour(33023);
  for (double v = -0.5; v <= 2.9; v += 0.02) {
    const double j = 0.008 - 5.9e-15 * (std::exp(v / (3.6 * 0.025851)) - 1) - v / 1e4;
    if (j >= 0) linlin.Circle(v, j, plot.markerRadius, 33023);
  }
  return linlin;
}

RecordingSurface DarkPlot() {
  RecordingSurface linlog;
  PlotState plot;
  DrawLinLogAxes(linlog, plot, -0.5, 2.9, 1e-9, 0.05);
  linlog.SetFillStyle(FillStyle::Solid);
  linlog.SetFillColour(16576);
  for (double v = 0.02; v <= 2.9; v += 0.02) {
    const double j = 5.9e-15 * (std::exp(v / (3.6 * 0.025851)) - 1) + v / 1e7;
    if (j <= 0.05) linlog.Circle(v, std::log(j), plot.markerRadius, 16576);
  }
  return linlog;
}

}  // namespace

class PlotRenderTest : public QObject {
  Q_OBJECT

 private slots:
  void fillsCirclesOnlyWithTheSolidFillStyle() {
    RecordingSurface s;
    s.SetUserCoordinates(0, 10, 10, 0);
    s.SetFillColour(Rgb(0, 0, 255));
    s.SetFillStyle(FillStyle::Solid);
    s.Circle(3, 5, 1, Rgb(255, 0, 0));
    s.SetFillStyle(FillStyle::Transparent);
    s.Circle(7, 5, 1, Rgb(255, 0, 0));
    PlotLayout layout;
    const QImage image = RenderPlot(s, QSize(200, 200), &layout);
    const UserMapping& m = layout.mapping;
    QCOMPARE(Pixel(image, m.ToPixel(3, 5)), Rgb32(Rgb(0, 0, 255)));
    QCOMPARE(Pixel(image, m.ToPixel(7, 5)), kWhite);
    // The radius is measured along x: a tenth of the drawing's width; the (smoothed) outline is in the
    // circle's colour.
    const double r = m.size.width() / 10.0;
    const auto reddish = [](QRgb p) { return qRed(p) == 255 && qGreen(p) < 160 && qBlue(p) < 160; };
    QVERIFY(reddish(Pixel(image, m.ToPixel(7, 5) + QPointF(r, 0))));
    QVERIFY(reddish(Pixel(image, m.ToPixel(7, 5) + QPointF(0, -r))));
    QCOMPARE(Pixel(image, m.ToPixel(7, 5) + QPointF(r + 4, 0)), kWhite);
    QCOMPARE(Pixel(image, m.ToPixel(7, 5) + QPointF(r - 4, 0)), kWhite);
  }

  void drawsTheTypicalPlotsWithinTheWindow_data() {
    QTest::addColumn<bool>("lit");
    QTest::addColumn<QSize>("size");
    QTest::newRow("lit, reference size") << true << QSize(625, 373);
    QTest::newRow("dark, reference size") << false << QSize(625, 373);
    QTest::newRow("lit, large") << true << QSize(1000, 600);
    QTest::newRow("dark, large") << false << QSize(1000, 600);
  }

  void drawsTheTypicalPlotsWithinTheWindow() {
    QFETCH(bool, lit);
    QFETCH(QSize, size);
    const QImage image = RenderPlot(lit ? LitPlot() : DarkPlot(), size);
    // Labels and markers stay off the window's edges: nothing is cut off.
    for (int x = 0; x < size.width(); ++x)
      for (int y : {0, 1, size.height() - 2, size.height() - 1})
        QCOMPARE(Pixel(image, QPointF(x, y)), kWhite);
    for (int y = 0; y < size.height(); ++y)
      for (int x : {0, 1, size.width() - 2, size.width() - 1}) QCOMPARE(Pixel(image, QPointF(x, y)), kWhite);
    const QString folder = qEnvironmentVariable("PELARIN_PLOT_PREVIEW_DIR");
    if (!folder.isEmpty())
      QVERIFY(image.save(QDir(folder).filePath(QStringLiteral("%1_%2x%3.png")
                                                   .arg(lit ? "linlin" : "linlog")
                                                   .arg(size.width())
                                                   .arg(size.height()))));
  }
};

QTEST_MAIN(PlotRenderTest)
#include "plot_render_test.moc"
