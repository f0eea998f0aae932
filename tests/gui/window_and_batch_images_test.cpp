// The window program and the batch tool draw the same study into the same picture: both record the same
// drawing calls and render them with the same painter, from the first study of a session and from later ones.
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <map>
#include <sstream>

#include "app/commands.h"
#include "app/qt/main_window.h"
#include "batch/batch.h"
#include "plot/qt/plot_image.h"
#include "plot/qt/plot_window_widget.h"
#include "studies/study_registry.h"

using namespace pelarin;

namespace {

// The images the batch tool saves for a study, by file ending ("_ill.bmp", "_dark.bmp").
std::map<std::string, QImage> BatchImages(const std::string& study, const QString& dir) {
  BatchOptions options;
  options.study = study;
  options.dir = dir.toStdString();
  options.images = options.noSave = true;
  std::map<std::string, QImage> images;
  std::ostringstream out, err;
  const int status =
      RunBatch(options, out, err,
               [&](const RecordingSurface& drawing, int width, int height, const std::string& path) {
                 // The tool saves through a temporary beside the image: <stem>.tmp~<6 letters><suffix>.
                 const auto mark = path.rfind(".tmp~");
                 const std::string image = path.substr(0, mark) + path.substr(mark + 11);
                 images[image.substr(image.rfind('_'))] = RenderPlot(drawing, QSize(width, height));
                 return true;
               });
  if (status != kBatchOk) qWarning("batch run failed: %s", err.str().c_str());
  return images;
}

// The picture a plot window shows at the batch tool's image size.
QImage WindowImage(PlotWindowWidget* plot, QSize size) {
  plot->resize(size);
  return plot->Image().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class WindowAndBatchImagesTest : public QObject {
  Q_OBJECT

 private slots:
  void sameStudySamePicture_data() {
    QTest::addColumn<QString>("study");
    for (const char* study : {"all", "two", "one"}) QTest::newRow(study) << study;
  }

  void sameStudySamePicture() {
    QFETCH(QString, study);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto batch = BatchImages(study.toStdString(), dir.path());
    QVERIFY(batch.count("_ill.bmp") == 1);
    const QImage batchLit = batch.at("_ill.bmp").convertToFormat(QImage::Format_RGB32);

    State state;
    MainWindow window(state);
    window.StartUp();
    window.Ui().hooks.ask = [](Question, const std::string&) { return false; };  // no overlay, no tables
    QVERIFY(QDir::setCurrent(dir.path()));
    const MenuItem item = MenuItemOf(*FindStudy(study.toStdString()));
    for (int run = 1; run <= 2; ++run) {
      RunMenuCommand(state, window.Ui(), item);
      const QImage shown = WindowImage(window.Linlin(), batchLit.size());
      QVERIFY2(shown == batchLit, qPrintable(QString("lit plot differs at run %1").arg(run)));
      if (batch.count("_dark.bmp") == 1) {
        const QImage batchDark = batch.at("_dark.bmp").convertToFormat(QImage::Format_RGB32);
        QVERIFY2(WindowImage(window.Linlog(), batchDark.size()) == batchDark,
                 qPrintable(QString("dark plot differs at run %1").arg(run)));
      }
    }
  }
};

QTEST_MAIN(WindowAndBatchImagesTest)
#include "window_and_batch_images_test.moc"
