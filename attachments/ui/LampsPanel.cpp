#include "attachments/ui/LampsPanel.h"

#include <QHBoxLayout>
#include <QPainter>

#include "qt/QtText.h"

namespace skimlet {

namespace {

QColor ToQColor(LampColour colour) {
  const LampRgb rgb = LampColourRgb(colour);
  return {rgb.r, rgb.g, rgb.b};
}

}  // namespace

// A small round lamp; it repaints only itself when its colour changes.
class LampWidget : public QWidget {
 public:
  explicit LampWidget(QWidget* parent) : QWidget(parent), colour_(ToQColor(LampColour::kSilver)) {
    setFixedSize(14, 14);
  }

  QColor Colour() const { return colour_; }
  void SetColour(const QColor& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF round = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(QColor(96, 96, 96), 1));
    painter.setBrush(colour_);
    painter.drawEllipse(round);
  }

 private:
  QColor colour_;
};

LampsPanel::LampsPanel(QWidget* parent) : QGroupBox(QStringLiteral("Очередь вложений"), parent) {
  setObjectName(QStringLiteral("GroupBoxLED"));
  // The names the lamps have always had, mixed case included.
  static const char* const kNames[kDownloaderSlots] = {"LED0", "Led1", "Led2", "LED3", "LED4",
                                                       "LED5", "LED6", "LED7", "LED8", "LED9"};
  auto* row = new QHBoxLayout(this);
  row->setSpacing(4);
  for (int slot = 0; slot < kDownloaderSlots; ++slot) {
    auto* lamp = new LampWidget(this);
    lamp->setObjectName(QLatin1String(kNames[slot]));
    row->addWidget(lamp);
    lamps_[static_cast<std::size_t>(slot)] = lamp;
  }
  row->addStretch(1);
}

void LampsPanel::SetLamp(int slot, const LampState& lamp) {
  if (slot < 0 || slot >= kDownloaderSlots) return;
  LampWidget* widget = lamps_[static_cast<std::size_t>(slot)];
  widget->SetColour(ToQColor(lamp.colour));
  const QString hint = PlainTip(Q(lamp.hint));
  if (widget->toolTip() != hint) widget->setToolTip(hint);
}

void LampsPanel::SetCaption(const std::string& win1251) {
  const QString caption = Q(win1251);
  if (title() != caption) setTitle(caption);
}

QColor LampsPanel::LampColor(int slot) const {
  if (slot < 0 || slot >= kDownloaderSlots) return {};
  return lamps_[static_cast<std::size_t>(slot)]->Colour();
}

}  // namespace skimlet
