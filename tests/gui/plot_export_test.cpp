// What leaves a plot window: images saved as PNG, SVG and BMP that open again (the PNG read back equal to
// the window, the SVG parsed as XML with its titles and legend as text), the copied image, the curves
// exported as CSV, and the measurement that stays in the read-out box after the button is released.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <cmath>

#include "model/state.h"
#include "plot/linear_axes.h"
#include "plot/qt/plot_window_widget.h"

using namespace pelarin;

namespace {

// A lit curve with its legend entry and figures, drawn as a study draws it.
void DrawLitCurve(PlotWindowWidget& window, State& state) {
  window.SetTitles({.title = "Test_1 junction", .xTitle = "V (V)", .yTitle = "J (A/cm2)", .logY = false});
  DrawLinLinAxes(window, state.plot, -0.5, 1.0, 0, 0.01);
  FiguresOfMerit figures;
  figures.Voc = 0.9;
  window.SetFillStyle(FillStyle::Solid);
  window.BeginCurve({.name = "#1 lit, #2 #3 dark", .colour = 255, .hollow = false, .figures = figures});
  window.SetFillColour(255);
  for (int i = 0; i <= 30; ++i) {
    const double v = -0.5 + 0.05 * i;
    window.Circle(v, 0.008 * (1 - std::pow(v / 0.9, 8)), state.plot.markerRadius, 255);
  }
}

QAction* MenuAction(const PlotWindowWidget& window, const QString& text) {
  for (QAction* action : window.ContextMenu()->actions())
    if (action->text() == text) return action;
  return nullptr;
}

}  // namespace

class PlotExportTest : public QObject {
  Q_OBJECT

 private slots:
  void theMenuSavesImagesInTheFormatOfTheFileName_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << "fig.png"
                         << "fig.png" << QByteArray("png");
    QTest::newRow("bmp") << "fig.BMP"
                         << "fig.BMP" << QByteArray("bmp");
    QTest::newRow("svg") << "fig.svg"
                         << "fig.svg" << QByteArray("svg");
    QTest::newRow("no suffix: png") << "fig"
                                    << "fig.png" << QByteArray("png");
  }

  void theMenuSavesImagesInTheFormatOfTheFileName() {
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QFETCH(QByteArray, format);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    State state;
    state.id.studyLabel = "Test_1 junction";
    state.id.studyDir = dir.path().toStdString() + "/";
    PlotWindowWidget window(PlotId::linlin, state);
    window.resize(700, 420);
    DrawLitCurve(window, state);
    QString proposed;
    window.SetSaveChooser([&](const QString&, const QString& offered, const QString&) {
      proposed = offered;
      return dir.filePath(chosen);
    });
    QStringList saved;
    window.SetSavedListener([&](const QString& path) { saved << path; });
    QAction* save = MenuAction(window, "Save image as...");
    QVERIFY(save);
    save->trigger();

    QCOMPARE(proposed, dir.filePath("Test_1 junction_ill.png"));
    const QString path = dir.filePath(written);
    QCOMPARE(saved, QStringList(path));
    if (format == "svg") {
      QFile file(path);
      QVERIFY(file.open(QIODevice::ReadOnly));
      QXmlStreamReader xml(&file);
      QStringList texts;
      bool svgRoot = false;
      while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("svg"))
          svgRoot = true;
        if (xml.isCharacters()) texts << xml.text().toString().trimmed();
      }
      QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
      QVERIFY(svgRoot);
      // The figure's words are text in the drawing, not pixels.
      for (const char* text : {"Test_1 junction", "V (V)", "J (A/cm2)", "#1 lit, #2 #3 dark", "Voc 0.900 V"})
        QVERIFY2(texts.contains(text), text);
      return;
    }
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QCOMPARE(image.size(), window.size());
    QCOMPARE(image.convertToFormat(QImage::Format_RGB32), window.Image());
  }

  void copiesTheImageAndExportsTheCurvesAsDrawn() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    State state;
    state.id.studyLabel = "Test_1 junction";
    state.id.studyDir = dir.path().toStdString() + "/";
    PlotWindowWidget window(PlotId::linlin, state);
    window.resize(600, 400);
    DrawLitCurve(window, state);

    MenuAction(window, "Copy image")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), window.Image());

    window.SetSaveChooser(
        [&](const QString&, const QString&, const QString&) { return dir.filePath("curves"); });
    MenuAction(window, "Export data as CSV...")->trigger();
    QFile csv(dir.filePath("curves.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 32);
    QCOMPARE(lines[0], QString("curve,V (V),J (A/cm2)"));
    // The name quoted for its commas; the numbers read back exactly.
    QVERIFY(lines[1].startsWith("\"#1 lit, #2 #3 dark\",-0.5,"));
    QCOMPARE(lines[1].section(',', -1).toDouble(), 0.008 * (1 - std::pow(-0.5 / 0.9, 8)));
  }

  void aMeasurementStaysAfterTheReleaseUntilTheNextPress() {
    State state;
    state.flags.dragLineOn = 1;
    PlotWindowWidget window(PlotId::linlin, state);
    window.resize(600, 400);
    DrawLitCurve(window, state);
    const UserMapping& m = window.Layout().mapping;
    const QPoint from = m.ToPixel(0.5, 0.006).toPoint(), to = m.ToPixel(0.8, 0.002).toPoint();
    QTest::mousePress(&window, Qt::LeftButton, {}, from);
    QMouseEvent drag(QEvent::MouseMove, QPointF(to), window.mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drag);
    QTest::mouseRelease(&window, Qt::LeftButton, {}, to);
    const QString shown = window.ReadoutBox()->text();
    QVERIFY2(shown.startsWith("R = ") && shown.endsWith(" Ohm.cm2"), qPrintable(shown));
    QVERIFY(!window.RubberBandLine().visible);
    QTest::mouseMove(&window, QPoint(20, 20));
    QCOMPARE(window.ReadoutBox()->text(), shown);
    // A new plot takes it away.
    window.Clear();
    QCOMPARE(window.ReadoutBox()->text(), QString());
  }
};

QTEST_MAIN(PlotExportTest)
#include "plot_export_test.moc"
