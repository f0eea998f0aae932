// The plot windows as widgets: saving the image by double click, captions and visibility inside the MDI
// area, Escape in the read-out box, the read-out under the mouse, and redrawing at a new size.
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include "model/state.h"
#include "plot/linear_axes.h"
#include "plot/log_axes.h"
#include "plot/qt/plot_window_widget.h"

using namespace pelarin;

Q_DECLARE_METATYPE(pelarin::PlotId)

namespace {

void DrawAxes(PlotWindowWidget& window, PlotId id, State& state) {
  if (id == PlotId::linlin)
    DrawLinLinAxes(window, state.plot, 0, 1, 0, 1);
  else
    DrawLinLogAxes(window, state.plot, 0, 1, 1e-9, 0.05);
}

// The first column, from the left along row y, in the frame's dark green.
int FrameColumn(const QImage& image, int y) {
  for (int x = 0; x < image.width(); ++x)
    if ((image.pixel(x, y) & 0xFFFFFF) == 0x008000) return x;
  return -1;
}

}  // namespace

class PlotWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void savesTheImageOnDoubleClick_data() {
    QTest::addColumn<PlotId>("id");
    QTest::addColumn<double>("darkFlag");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("name");
    QTest::newRow("linlin lit") << PlotId::linlin << 0.0 << true << "Test_3 junctions_ill.bmp";
    QTest::newRow("linlin dark") << PlotId::linlin << 1.0 << true << "Test_3 junctions_dark.bmp";
    QTest::newRow("linlog") << PlotId::linlog << 0.0 << true << "Test_3 junctions_dark.bmp";
    QTest::newRow("answered No") << PlotId::linlin << 0.0 << false << "Test_3 junctions_ill.bmp";
  }

  void savesTheImageOnDoubleClick() {
    QFETCH(PlotId, id);
    QFETCH(double, darkFlag);
    QFETCH(bool, yes);
    QFETCH(QString, name);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    State state;
    state.id.studyLabel = "Test_3 junctions";
    state.id.studyDir = QDir(folder.path()).filePath("Test_plr").toStdString() + "/";
    QVERIFY(QDir(folder.path()).mkdir("Test_plr"));
    state.flags.darkFlag = darkFlag;

    PlotWindowWidget window(id, state);
    QStringList asked;
    window.SetAsker([&](const QString& text, const QString& title) {
      asked << text + "|" + title;
      return yes;
    });
    window.resize(520, 310);
    DrawAxes(window, id, state);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseDClick(&window, Qt::LeftButton, {}, QPoint(260, 150));

    QCOMPARE(asked, QStringList("Do you want to save the image\runder : " + name + " ?|SAVE IMAGE"));
    const QString path = QDir(folder.path()).filePath("Test_plr/" + name);
    QCOMPARE(QFileInfo::exists(path), yes);
    if (!yes) return;
    // A readable bitmap of the window's size holding what the window shows, and no stray temporary file.
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("bmp"));
    const QImage saved = reader.read();
    QCOMPARE(saved.size(), window.size());
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), window.Image());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 0);
    QCOMPARE(QDir(folder.filePath("Test_plr")).entryList(QDir::Files).size(), 1);
  }

  void showsHidesAndCaptionsItsSubWindow() {
    State state;
    QMdiArea area;
    auto* linlin = new PlotWindowWidget(PlotId::linlin, state);
    auto* linlog = new PlotWindowWidget(PlotId::linlog, state);
    QMdiSubWindow* linlinSub = area.addSubWindow(linlin);
    QMdiSubWindow* linlogSub = area.addSubWindow(linlog);
    QCOMPARE(linlinSub->windowTitle(), QString("I(V)"));
    QCOMPARE(linlogSub->windowTitle(), QString("linlogplot"));
    area.show();
    linlin->Hide();
    QVERIFY(!linlinSub->isVisible());
    linlin->Show();
    QVERIFY(linlinSub->isVisible());
    QVERIFY(linlin->isVisible());
    linlin->SetCaption("Test                    J(V) All Junctions");
    QCOMPARE(linlinSub->windowTitle(), QString("Test                    J(V) All Junctions"));
  }

  void readsOutUnderTheMouse() {
    State state;
    PlotWindowWidget window(PlotId::linlin, state);
    window.resize(600, 300);
    DrawAxes(window, PlotId::linlin, state);  // user coordinates -0.1 to 1.1 both ways
    const QPoint at = window.Layout().mapping.ToPixel(0.5, 0.3).toPoint();
    QTest::mousePress(&window, Qt::RightButton, {}, at);
    QCOMPARE(window.ReadoutBox()->text(), QString("x= 5.E-1   y= 3.E-1"));
    QTest::mouseRelease(&window, Qt::RightButton, {}, at);
    QCOMPARE(window.ReadoutBox()->text(), QString());  // the click empties it
    QVERIFY(window.ContextMenu()->isVisible());        // and opens the plot's menu
    window.ContextMenu()->hide();
  }

  void redrawsTheSameDrawingAtANewSize() {
    State state;
    PlotWindowWidget window(PlotId::linlin, state);
    window.resize(500, 300);
    DrawLinLinAxes(window, state.plot, 1, 2, 1, 2);  // no zero line over the frame
    // The frame's left side stands where the mapping of the render puts x = 1.
    const QImage small = window.Image();
    QCOMPARE(small.size(), QSize(500, 300));
    const double smallFrame = window.Layout().mapping.ToPixel(1, 1.5).x();
    QVERIFY(std::abs(FrameColumn(small, 150) - smallFrame) <= 1);
    window.resize(1000, 600);
    const QImage large = window.Image();
    QCOMPARE(large.size(), QSize(1000, 600));
    const double largeFrame = window.Layout().mapping.ToPixel(1, 1.5).x();
    QVERIFY(std::abs(FrameColumn(large, 300) - largeFrame) <= 1);
    QVERIFY(largeFrame > smallFrame);
  }
};

QTEST_MAIN(PlotWindowTest)
#include "plot_window_test.moc"
