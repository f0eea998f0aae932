// pelarin-batch scan --plot through the real image plugin: the PNG reads back as the picture of a colour
// map, the SVG is well-formed XML.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

int RunBatch(const QString& dir, const QStringList& args, QString& err) {
  QProcess batch;
  batch.setWorkingDirectory(dir);
  batch.start(QStringLiteral(PELARIN_BATCH_PROGRAM), args);
  if (!batch.waitForFinished(100'000)) return -1;
  err = QString::fromLocal8Bit(batch.readAllStandardError());
  return batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1;
}

}  // namespace

class ScanPlotBatchTest : public QObject {
  Q_OBJECT

 private slots:
  void pngOfAColourMapReadsBack() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString err;
    QCOMPARE(RunBatch(dir.path(),
                      {"scan", "all", "--vary", "Rs1=1:40:4", "--vary", "Jsc3=0.01:0.02:4", "--summary",
                       "map.csv", "--plot", "map.png", "--plot-figure", "Voc", "-j", "1"},
                      err),
             0);
    const QImage image(dir.filePath("map.png"));
    QVERIFY2(!image.isNull(), qPrintable(err));
    QCOMPARE(image.size(), QSize(945, 626));
    // White background, black text, the map's cells and the colour bar: many colours.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
      for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 50, qPrintable(QString::number(colours.size())));
  }

  void svgOfCurvesIsWellFormed() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString err;
    QCOMPARE(
        RunBatch(dir.path(),
                 {"scan", "two", "--vary", "Rs2=1:100:3:log", "--summary", "rs2.csv", "--plot", "rs2.SVG"},
                 err),
        0);
    QFile file(dir.filePath("rs2.SVG"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(err));
    QXmlStreamReader xml(&file);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name().toString(), QStringLiteral("svg"));
    while (!xml.atEnd()) xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
  }
};

QTEST_GUILESS_MAIN(ScanPlotBatchTest)
#include "scan_plot_batch_test.moc"
