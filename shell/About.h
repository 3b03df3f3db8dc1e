// The about window (TAboutForm) and the program's picture it shares with the splash window;
// the maker's addresses.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QString>

namespace skimlet {

// The maker's web site and mail addresses.
inline constexpr const char* kMakerSite = "https://orvane.example/skimlet/";
inline constexpr const char* kMakerSiteName = "orvane.example";
inline constexpr const char* kSupportMail = "support@orvane.example";
inline constexpr const char* kBugsMail = "bugs@orvane.example";

// The program's picture, 350 by 150 pixels.
QPixmap ProgramPicture();

// "Вы используете версию 1.1 (build 102)."
QString VersionLine(int ownBuild);

// A label that acts as a link: aqua, white and underlined under the pointer.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
 signals:
  void clicked();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Paint(bool hover);
};

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  TAboutForm(int ownBuild, QWidget* parent = nullptr);
  // Centred on `over`, modal.
  void ShowOver(QWidget* over);
};

}  // namespace skimlet
