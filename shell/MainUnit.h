// The main window.
#pragma once

#include <QMainWindow>
#include <string>

namespace skimlet {

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(std::string dataDir, QWidget* parent = nullptr);
  ~TMainForm() override;
  // False when start-up failed and the program must end.
  bool Ready() const { return ready_; }

 private:
  std::string dataDir_;
  bool ready_ = false;
};

}  // namespace skimlet
