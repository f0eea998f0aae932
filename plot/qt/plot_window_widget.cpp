#include "plot/qt/plot_window_widget.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "plot/curves_csv.h"

namespace pelarin {
namespace {

PlotKind KindOf(PlotId id) { return id == PlotId::linlin ? PlotKind::linlin : PlotKind::linlog; }

// Buttons as the handlers count them: 1 left, 2 right, 4 middle.
int ButtonCode(Qt::MouseButtons buttons) {
  return (buttons & Qt::LeftButton ? kLeftButton : 0) | (buttons & Qt::RightButton ? kRightButton : 0) |
         (buttons & Qt::MiddleButton ? 4 : 0);
}

bool AskWithMessageBox(QWidget* parent, const QString& text, const QString& title) {
  // A carriage return starts a new line of the question.
  QString shown = text;
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return QMessageBox::question(parent, title, shown, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// A right click that moved less than this opens the menu; a longer right drag reads out the curve.
constexpr int kClickDistance = 4;

const char* kImageFilter = "PNG image (*.png);;SVG drawing (*.svg);;Bitmap (*.bmp)";
const char* kCsvFilter = "CSV table (*.csv)";

}  // namespace

PlotWindowWidget::PlotWindowWidget(PlotId id, State& state, QWidget* parent)
    : QWidget(parent),
      state_(state),
      interaction_(KindOf(id), state, *this),
      readoutBox_(new QLineEdit(this)),
      contextMenu_(new QMenu(this)) {
  setWindowTitle(id == PlotId::linlin ? QStringLiteral("I(V)") : QStringLiteral("linlogplot"));
  setFont(PlotFont());
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  readoutBox_->setObjectName(QStringLiteral("readoutBox"));
  readoutBox_->setReadOnly(true);
  contextMenu_->setObjectName(QStringLiteral("plotMenu"));
  contextMenu_->addAction(QStringLiteral("Save image as..."), this, &PlotWindowWidget::SaveImageAs);
  contextMenu_->addAction(QStringLiteral("Copy image"), this, &PlotWindowWidget::CopyImage);
  contextMenu_->addAction(QStringLiteral("Export data as CSV..."), this, &PlotWindowWidget::ExportCsv);
  asker_ = [this](const QString& text, const QString& title) { return AskWithMessageBox(this, text, title); };
  notifier_ = [this](const QString& text, const QString& title) {
    QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this).exec();
  };
  saveChooser_ = [this](const QString& title, const QString& proposed, const QString& filter) {
    return QFileDialog::getSaveFileName(this, title, proposed, filter);
  };
  resize(sizeHint());
  PlaceReadoutBox();
}

void PlotWindowWidget::SetWindowStateNormal() {
  RecordedPlotWindow::SetWindowStateNormal();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
      sub && (sub->isMinimized() || sub->isMaximized()))
    sub->showNormal();
}

void PlotWindowWidget::Show() {
  RecordedPlotWindow::Show();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->show();
  show();
}

void PlotWindowWidget::Hide() {
  RecordedPlotWindow::Hide();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
    sub->hide();
  else
    hide();
}

void PlotWindowWidget::SetCaption(const std::string& caption) {
  RecordedPlotWindow::SetCaption(caption);
  const QString title = QString::fromStdString(caption);
  setWindowTitle(title);
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->setWindowTitle(title);
}

void PlotWindowWidget::SetReadoutBackground(Colour colour) {
  RecordedPlotWindow::SetReadoutBackground(colour);
  QPalette palette = readoutBox_->palette();
  palette.setColor(QPalette::Base, QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)));
  readoutBox_->setPalette(palette);
}

void PlotWindowWidget::SetAsker(Asker asker) { asker_ = std::move(asker); }
void PlotWindowWidget::SetNotifier(Notifier notifier) { notifier_ = std::move(notifier); }
void PlotWindowWidget::SetSaveChooser(SaveChooser chooser) { saveChooser_ = std::move(chooser); }
void PlotWindowWidget::SetSavedListener(SavedListener listener) { savedListener_ = std::move(listener); }

QImage PlotWindowWidget::Image() {
  Render();
  return shown_;
}

const PlotLayout& PlotWindowWidget::Layout() {
  Render();
  return layout_;
}

void PlotWindowWidget::DrawingChanged() {
  stale_ = true;
  update();
}

void PlotWindowWidget::DrawingCleared() {
  interaction_.Reset();
  ShowInteraction();
}

void PlotWindowWidget::Render() {
  if (!stale_ && shown_.size() == size()) return;
  shown_ = RenderPlot(surface, size(), &layout_);
  stale_ = false;
}

void PlotWindowWidget::paintEvent(QPaintEvent*) {
  Render();
  QPainter painter(this);
  painter.drawImage(0, 0, shown_);
  const RubberBand& band = interaction_.RubberBandLine();
  if (band.visible) {
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(layout_.mapping.ToPixel(band.x1, band.y1), layout_.mapping.ToPixel(band.x2, band.y2));
  }
}

void PlotWindowWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceReadoutBox();
}

void PlotWindowWidget::SetReadoutValue(const std::string& label, PlotInteraction::ValueAt valueAt) {
  interaction_.SetReadoutValue(label, std::move(valueAt));
}

void PlotWindowWidget::PlaceReadoutBox() {
  // At the top right, over the title strip and above the legend, wide enough for a two-number read-out,
  // and wider while it shows a longer one (a colour map's figure).
  // The renders keep the title clear of it.
  const QFontMetricsF metrics(readoutBox_->font(), readoutBox_);
  const int w = std::min(width(), static_cast<int>(ReadoutBoxWidth(metrics, readoutBox_->text())) - 2);
  const int h = static_cast<int>(std::ceil(metrics.height())) + 6;
  readoutBox_->setGeometry(width() - w - 2, 1, w, h);
}

void PlotWindowWidget::ShowInteraction() {
  const QString text = QString::fromStdString(interaction_.Readout());
  if (readoutBox_->text() != text) {
    readoutBox_->setText(text);
    PlaceReadoutBox();
  }
  update();
}

void PlotWindowWidget::mousePressEvent(QMouseEvent* event) {
  Render();
  const QPointF at = layout_.mapping.ToUser(event->position());
  interaction_.MouseDown(ButtonCode(event->button()), static_cast<float>(at.x()), static_cast<float>(at.y()));
  if (event->button() == Qt::RightButton) rightPressAt_ = event->position().toPoint();
  ShowInteraction();
}

void PlotWindowWidget::mouseMoveEvent(QMouseEvent* event) {
  Render();
  const QPointF at = layout_.mapping.ToUser(event->position());
  interaction_.MouseMove(ButtonCode(event->buttons()), static_cast<float>(at.x()),
                         static_cast<float>(at.y()));
  ShowInteraction();
}

void PlotWindowWidget::mouseReleaseEvent(QMouseEvent* event) {
  Render();
  const QPointF at = layout_.mapping.ToUser(event->position());
  interaction_.MouseUp(ButtonCode(event->button()), static_cast<float>(at.x()), static_cast<float>(at.y()));
  if (!releaseEndsDoubleClick_) interaction_.Click();
  releaseEndsDoubleClick_ = false;
  ShowInteraction();
  if (event->button() == Qt::RightButton &&
      (event->position().toPoint() - rightPressAt_).manhattanLength() < kClickDistance)
    contextMenu_->popup(event->globalPosition().toPoint());
}

void PlotWindowWidget::mouseDoubleClickEvent(QMouseEvent*) {
  releaseEndsDoubleClick_ = true;
  interaction_.DblClick();
  ShowInteraction();
}

void PlotWindowWidget::contextMenuEvent(QContextMenuEvent* event) {
  // The mouse opens the menu on a right click's release (a right drag reads out instead); the keyboard's
  // menu key opens it here.
  if (event->reason() != QContextMenuEvent::Mouse) contextMenu_->popup(event->globalPos());
}

bool PlotWindowWidget::AskYesNo(const std::string& text, const std::string& title) {
  return asker_(QString::fromStdString(text), QString::fromStdString(title));
}

void PlotWindowWidget::SaveImage(const std::string& path) {
  // The read-out box has just been emptied; the image is the drawing alone, at the window's size.
  const QString file = QString::fromStdString(path);
  if (!SavePlot(surface, size(), file, ImageFormat::Bmp)) {
    notifier_(QStringLiteral("The image could not be saved as ") + file, QStringLiteral("SAVE IMAGE"));
    return;
  }
  if (savedListener_) savedListener_(file);
}

void PlotWindowWidget::SetFileStem(const QString& stem) {
  fileStem_ = stem;
  interaction_.SetImagePath(stem.isEmpty() ? std::string() : (stem + ".bmp").toStdString());
}

QString PlotWindowWidget::ProposedStem() const {
  if (!fileStem_.isEmpty()) return fileStem_;
  const QString folder = QString::fromStdString(state_.id.studyDir);
  const QString label = QString::fromStdString(state_.id.studyLabel);
  const QString name = label.isEmpty() ? QStringLiteral("plot") : label;
  const QString suffix = interaction_.ImageName().ends_with("_dark.bmp") ? "_dark" : "_ill";
  return (folder.isEmpty() ? QDir::currentPath() + "/" : folder) + name + suffix;
}

void PlotWindowWidget::SaveImageAs() {
  QString path = saveChooser_(QStringLiteral("Save image as"), ProposedStem() + ".png", kImageFilter);
  if (path.isEmpty()) return;
  std::optional<ImageFormat> format = ImageFormatOf(path);
  if (!format) {
    format = ImageFormat::Png;
    path += SuffixOf(*format);
  }
  if (!SavePlot(surface, size(), path, *format)) {
    notifier_(QStringLiteral("The image could not be saved as ") + path, QStringLiteral("Save image as"));
    return;
  }
  if (savedListener_) savedListener_(path);
}

void PlotWindowWidget::CopyImage() { QGuiApplication::clipboard()->setImage(Image()); }

void PlotWindowWidget::ExportCsv() {
  QString path = saveChooser_(QStringLiteral("Export data as CSV"), ProposedStem() + ".csv", kCsvFilter);
  if (path.isEmpty()) return;
  if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) path += QStringLiteral(".csv");
  QSaveFile file(path);
  const std::string csv = CurvesCsv(surface);
  const bool written =
      file.open(QIODevice::WriteOnly) &&
      file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      file.commit();
  if (!written) {
    notifier_(QStringLiteral("The data could not be saved as ") + path, QStringLiteral("Export data as CSV"));
    return;
  }
  if (savedListener_) savedListener_(path);
}

}  // namespace pelarin
