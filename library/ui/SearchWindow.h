// The search window "FindNewsForm": the user types words and sees, as they are found, the
// news of a folder and the folders below it whose name or text holds all of them. Typing on
// cancels the search under way and starts another.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "library/NewsSearch.h"

class QLabel;
class QLineEdit;
class QTableView;
class QTimer;

namespace skimlet {

class SearchHitsModel;

class SearchWindow : public QWidget {
  Q_OBJECT

 public:
  // `accountsDir`: Accounts/ of the data directory (UTF-8, ends in '/').
  explicit SearchWindow(std::string accountsDir, QWidget* parent = nullptr);
  ~SearchWindow() override;

  // Shows the window searching in `dir`; words already typed are searched for there at once.
  void StartIn(const std::string& dir);
  const std::string& Folder() const { return dir_; }

  QLineEdit* Words() const { return words_; }
  QTableView* Results() const { return results_; }
  int HitCount() const;
  std::string HitPath(int row) const;
  bool Searching() const { return search_.Running(); }

 signals:
  void openNews(const QString& path);

 private:
  void Restart();
  void Drain();
  void ShowStatus();

  std::string accountsDir_, dir_;
  QLabel* folder_;
  QLineEdit* words_;
  QTableView* results_;
  QLabel* status_;
  QTimer* delay_;
  SearchHitsModel* hits_;
  NewsSearch search_;
};

}  // namespace skimlet
