// Handing files, folders and web addresses to the desktop, behind one seam so tests can see
// what would have been opened.
#pragma once

#include <QString>
#include <QUrl>

namespace skimlet {

class Desktop {
 public:
  virtual ~Desktop() = default;
  // The address or file with the program the desktop has for it.
  virtual void OpenUrl(const QUrl& url);
  // The file manager with `path` selected (org.freedesktop.FileManager1), else its folder.
  virtual void ShowFile(const QString& path);
  // The trash in the file manager, else the folder that holds the trashed files.
  virtual void ShowTrash();
};

// The desktop the program uses: the real one unless a test has put its own in place.
Desktop& AppDesktop();
void SetAppDesktop(Desktop* desktop);  // nullptr restores the real one

}  // namespace skimlet
