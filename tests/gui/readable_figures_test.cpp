// The plots as the window shows them on common screens (1024x768, 1366x768, 1920x1080): every text the
// render places (tick labels with their raised exponents, power-of-ten markers, titles, legend rows) keeps
// clear of every other, stays inside its window and clear of the read-out box. Boxes are compared, not
// pixels.
#include <QDir>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QtTest>

#include "app/commands.h"
#include "app/qt/main_window.h"
#include "plot/qt/plot_window_widget.h"
#include "studies/study_registry.h"

using namespace pelarin;

namespace {

QString Describe(const PlacedText& t) {
  return QString("\"%1\" at (%2, %3, %4 x %5)")
      .arg(t.text)
      .arg(t.box.left())
      .arg(t.box.top())
      .arg(t.box.width())
      .arg(t.box.height());
}

}  // namespace

class ReadableFiguresTest : public QObject {
  Q_OBJECT

 private slots:
  void textsKeepClearOfEachOther_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QString>("study");
    for (const QSize screen : {QSize(1024, 768), QSize(1366, 768), QSize(1920, 1080)})
      for (const char* study : {"all", "independent", "one", "all-rl", "eqe-ill"})
        QTest::addRow("%dx%d %s", screen.width(), screen.height(), study) << screen << QString(study);
  }

  void textsKeepClearOfEachOther() {
    QFETCH(QSize, screen);
    QFETCH(QString, study);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    State state;
    MainWindow window(state);
    window.StartUp();
    window.setGeometry(QRect(QPoint(0, 0), screen));
    window.layout()->activate();
    window.LayOut(window.Area()->size());
    window.Ui().hooks.ask = [](Question, const std::string&) { return false; };  // no overlay, no tables
    const bool ran = RunMenuCommand(state, window.Ui(), MenuItemOf(*FindStudy(study.toStdString())));
    QDir::setCurrent(startDir);
    QVERIFY(ran);

    int plots = 0;
    for (PlotWindowWidget* plot : {window.Linlin(), window.Linlog()}) {
      if (!plot->isVisibleTo(&window)) continue;
      ++plots;
      QVERIFY2(plot->width() > screen.width() / 3, "the plots share the width of the screen");
      const PlotLayout& layout = plot->Layout();
      const QRectF window(QPointF(0, 0), QSizeF(plot->size()));
      const QRectF readout = plot->ReadoutBox()->geometry();
      int tickLabels = 0, exponents = 0;
      for (std::size_t i = 0; i < layout.texts.size(); ++i) {
        const PlacedText& a = layout.texts[i];
        QVERIFY2(window.contains(a.box), qPrintable(Describe(a) + " leaves the window"));
        QVERIFY2(!a.box.intersects(readout), qPrintable(Describe(a) + " lies under the read-out box"));
        if (a.kind == PlacedText::Kind::TickLabel) ++tickLabels;
        if (!a.exponent.isEmpty()) {
          ++exponents;
          // Beside the base text, not over it, and raised above it.
          QVERIFY2(!a.exponent.intersects(a.base),
                   qPrintable(Describe(a) + ": the exponent covers the text"));
          QVERIFY2(a.exponent.left() >= a.base.right() && a.exponent.top() < a.base.top(),
                   qPrintable(Describe(a) + ": the exponent is not raised after the text"));
        }
        for (std::size_t j = i + 1; j < layout.texts.size(); ++j)
          QVERIFY2(!a.box.intersects(layout.texts[j].box),
                   qPrintable(Describe(a) + " overlaps " + Describe(layout.texts[j])));
      }
      QVERIFY2(tickLabels >= 10, qPrintable(QString("only %1 tick labels").arg(tickLabels)));
      // Decade labels on the dark plot; the x10 marker of the lit current axis (mA/cm2 as 10^-4 A/cm2 or
      // 10^-3 A/cm2).
      if (study != "eqe-ill") QVERIFY(exponents >= 1);
      QVERIFY(!layout.legend.isEmpty());
    }
    QVERIFY(plots >= 1);
  }
};

QTEST_MAIN(ReadableFiguresTest)
#include "readable_figures_test.moc"
