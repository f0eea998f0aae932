#include "plot/qt/plot_window_widget.h"

#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

namespace pelarin {
namespace {

PlotKind KindOf(PlotId id) { return id == PlotId::linlin ? PlotKind::linlin : PlotKind::linlog; }

// Buttons as the handlers count them: 1 left, 2 right, 4 middle.
int ButtonCode(Qt::MouseButtons buttons) {
  return (buttons & Qt::LeftButton ? kLeftButton : 0) | (buttons & Qt::RightButton ? kRightButton : 0) |
         (buttons & Qt::MiddleButton ? 4 : 0);
}

int KeyCode(const QKeyEvent& event) { return event.key() == Qt::Key_Escape ? kEscapeKey : event.key(); }

bool AskWithMessageBox(QWidget* parent, const QString& text, const QString& title) {
  // A carriage return starts a new line of the question.
  QString shown = text;
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return QMessageBox::question(parent, title, shown, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

PlotWindowWidget::PlotWindowWidget(PlotId id, State& state, QWidget* parent)
    : QWidget(parent), interaction_(KindOf(id), state, *this), readoutBox_(new QLineEdit(this)) {
  setWindowTitle(id == PlotId::linlin ? QStringLiteral("I(V)") : QStringLiteral("linlogplot"));
  setFont(PlotFont());
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  readoutBox_->setObjectName(QStringLiteral("readoutBox"));
  readoutBox_->setReadOnly(true);
  readoutBox_->installEventFilter(this);
  asker_ = [this](const QString& text, const QString& title) { return AskWithMessageBox(this, text, title); };
  notifier_ = [this](const QString& text, const QString& title) {
    QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this).exec();
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

QImage PlotWindowWidget::Image() {
  Render();
  return shown_;
}

void PlotWindowWidget::DrawingChanged() {
  stale_ = true;
  update();
}

void PlotWindowWidget::Render() {
  if (!stale_ && shown_.size() == size()) return;
  shown_ = RenderPlot(surface, size(), &mapping_);
  stale_ = false;
}

void PlotWindowWidget::paintEvent(QPaintEvent*) {
  Render();
  QPainter painter(this);
  painter.drawImage(0, 0, shown_);
  const RubberBand& band = interaction_.RubberBandLine();
  if (band.visible) {
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(mapping_.ToPixel(band.x1, band.y1), mapping_.ToPixel(band.x2, band.y2));
  }
}

void PlotWindowWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceReadoutBox();
}

void PlotWindowWidget::PlaceReadoutBox() {
  // Centred on the top edge, over the margin above the frame, wide enough for a two-number read-out.
  const QFontMetrics metrics(readoutBox_->font());
  const int w =
      std::min(width(), metrics.horizontalAdvance(QStringLiteral("x= -8.88E-88   y= -8.88E-88")) + 16);
  const int h = metrics.height() + 6;
  readoutBox_->setGeometry((width() - w) / 2, 0, w, h);
}

void PlotWindowWidget::ShowInteraction() {
  const QString text = QString::fromStdString(interaction_.Readout());
  if (readoutBox_->text() != text) readoutBox_->setText(text);
  update();
}

void PlotWindowWidget::mousePressEvent(QMouseEvent* event) {
  Render();
  const QPointF at = mapping_.ToUser(event->position());
  interaction_.MouseDown(ButtonCode(event->button()), static_cast<float>(at.x()), static_cast<float>(at.y()));
  ShowInteraction();
}

void PlotWindowWidget::mouseMoveEvent(QMouseEvent* event) {
  Render();
  const QPointF at = mapping_.ToUser(event->position());
  interaction_.MouseMove(ButtonCode(event->buttons()), static_cast<float>(at.x()),
                         static_cast<float>(at.y()));
  ShowInteraction();
}

void PlotWindowWidget::mouseReleaseEvent(QMouseEvent* event) {
  Render();
  const QPointF at = mapping_.ToUser(event->position());
  interaction_.MouseUp(ButtonCode(event->button()), static_cast<float>(at.x()), static_cast<float>(at.y()));
  if (!releaseEndsDoubleClick_) interaction_.Click();
  releaseEndsDoubleClick_ = false;
  ShowInteraction();
}

void PlotWindowWidget::mouseDoubleClickEvent(QMouseEvent*) {
  releaseEndsDoubleClick_ = true;
  interaction_.DblClick();
  ShowInteraction();
}

void PlotWindowWidget::keyPressEvent(QKeyEvent* event) {
  interaction_.KeyDown(KeyCode(*event));
  ShowInteraction();
}

bool PlotWindowWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == readoutBox_ && event->type() == QEvent::KeyPress) {
    const int code = KeyCode(*static_cast<QKeyEvent*>(event));
    interaction_.KeyDown(code);
    ShowInteraction();
    // Escape is handled here; the box would pass it on to the window a second time.
    if (code == kEscapeKey) return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool PlotWindowWidget::AskYesNo(const std::string& text, const std::string& title) {
  return asker_(QString::fromStdString(text), QString::fromStdString(title));
}

void PlotWindowWidget::ShowExclamation(const std::string& text, const std::string& title) {
  notifier_(QString::fromStdString(text), QString::fromStdString(title));
}

void PlotWindowWidget::SaveImage(const std::string& path) {
  // The read-out box has just been emptied; the image is the drawing alone, at the window's size.
  const QString file = QString::fromStdString(path);
  if (!SaveBitmap(surface, size(), file))
    notifier_(QStringLiteral("The image could not be saved as ") + file, QStringLiteral("SAVE IMAGE"));
}

}  // namespace pelarin
