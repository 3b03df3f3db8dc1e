// The group box GroupBoxLED: one lamp per downloader slot, and the queue's caption.
#pragma once

#include <QColor>
#include <QGroupBox>
#include <array>
#include <string>

#include "attachments/DownLoadAttachment.h"

namespace skimlet {

class LampWidget;

class LampsPanel : public QGroupBox {
  Q_OBJECT

 public:
  explicit LampsPanel(QWidget* parent = nullptr);

  // Colour and hint (Windows-1251) of slot 0..9; other slots are ignored.
  void SetLamp(int slot, const LampState& lamp);
  void SetCaption(const std::string& win1251);
  QColor LampColor(int slot) const;  // invalid for a slot outside 0..9

 private:
  std::array<LampWidget*, kDownloaderSlots> lamps_{};
};

}  // namespace skimlet
