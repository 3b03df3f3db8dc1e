// The page TabInfo ("Ход загрузки"): the coloured log of the shown channel's run, its two URL
// fields with their buttons, the buffer viewers, the attachment queue list and the history.
#pragma once

#include <QColor>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "attachments/DownLoadAttachment.h"
#include "engine/DownLoad.h"
#include "store/History.h"

class QComboBox;
class QLineEdit;
class QListView;
class QPushButton;
class QStringListModel;

namespace skimlet {

class LogModel;

// A stored log line ("colour text") as drawn: the text after the first blank in the colour
// the number before it gives (red in the low byte). A line without a usable colour part has
// no colour and is shown whole.
struct LogLineView {
  QString text;
  std::optional<QColor> colour;
};
LogLineView SplitLogLine(const QString& line);

// What a buffer viewer writes: the first character as it is, then every run of control
// characters that follows a visible character as one CR LF.
std::string DebugBufferText(std::string_view buffer);

class LogPage : public QWidget {
  Q_OBJECT

 public:
  explicit LogPage(QWidget* parent = nullptr);
  ~LogPage() override;

  // Brings ListBoxLog in line with a run's log (Windows-1251 lines): it starts over when its
  // first line differs, then takes the run's last line when its own last line differs.
  void ShowRunLog(const std::vector<std::string>& runLog);
  // The same for a non-empty log known by its ends; `wholeLog` is asked only to start over.
  void FollowRunLog(const std::string& firstLine, const std::string& lastLine,
                    const std::function<std::vector<std::string>()>& wholeLog);
  void ClearLog();
  void AddLogLine(const std::string& line);
  // ListBoxLog keeps at most this many lines (a run's, by default); tests lower it.
  void SetMaxLogLines(std::size_t maxLines);
  QStringList LogTexts() const;  // the stored lines, colour part included

  void SetUrls(const std::string& startURL, const std::string& newsURL);  // Windows-1251
  // The buffers of the shown channel's run; none when that channel has no run.
  void SetBufferSource(std::function<std::optional<RunBuffers>()> source);
  void SetDataDir(std::string dataDir);  // where IndexHTML.txt is written (UTF-8)
  void SetOpener(std::function<void(const QUrl&)> opener);

  void SetQueueDisplay(const QueueDisplay& display);

  void SetHistory(DownloadHistory* history);
  void HistoryChanged();

  // The page's controls, by their names.
  QListView* ListBoxLog() const { return listBoxLog_; }
  QListView* AttachmentURL() const { return attachmentURL_; }
  QComboBox* HTMLHistory() const { return htmlHistory_; }

 private:
  void OpenBuffer(bool indexBuffer);
  void OpenUrlField(const QLineEdit* field);
  void ClearHistoryClicked();

  QLineEdit* indexHTMLUrlDebug_ = nullptr;
  QLineEdit* newsUrlDebug_ = nullptr;
  QListView* attachmentURL_ = nullptr;
  QStringListModel* queueModel_ = nullptr;
  QListView* listBoxLog_ = nullptr;
  LogModel* logModel_ = nullptr;
  QComboBox* htmlHistory_ = nullptr;
  QStringListModel* historyModel_ = nullptr;

  std::function<std::optional<RunBuffers>()> bufferSource_;
  std::function<void(const QUrl&)> opener_;
  std::string dataDir_;
  DownloadHistory* history_ = nullptr;
  std::deque<std::string> shownHistory_;  // what the combo holds, to refill only the change
};

}  // namespace skimlet
