#pragma once
// The page 已采集: what the catalogue holds, as a sortable and searchable list of videos that
// opens a video or its folder, and the remembered failures with their reasons and a button that
// makes those videos eligible again. The page only shows rows it is given; reading the catalogue,
// retrying and exporting are up to the hooks the program supplies.

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace pelvaro {

class CollectedVideoModel;
class FailedVideoModel;

struct CollectedVideoRow {
  QString title;
  QString category;
  QString published;  // as the platform gave it
  qint64 durationS = 0;
  qint64 sizeBytes = 0;
  QString takenAt;  // ISO 8601 with offset
  QString path;     // the file
};

struct FailedVideoRow {
  QString docid;
  qint64 attempts = 0;
  QString reason;
  QString lastAt;  // ISO 8601 with offset
  bool givenUp = false;
};

class CollectedView : public QWidget {
 public:
  struct Events {
    std::function<void()> refresh;      // 刷新
    std::function<void()> retryFailed;  // 重新尝试失败的视频
    std::function<void()> exportCsv;    // 导出CSV
  };

  explicit CollectedView(QWidget* parent = nullptr);
  ~CollectedView() override;

  void setEvents(Events events) { events_ = std::move(events); }
  // Opens files and folders; the desktop's default program unless a test replaces it.
  void setUrlOpener(std::function<void(const QUrl&)> opener) { opener_ = std::move(opener); }

  void showVideos(std::vector<CollectedVideoRow> rows);
  void showFailures(std::vector<FailedVideoRow> rows);
  // A line under the lists: what the page is doing or what went wrong.
  void showNotice(const QString& text);
  // While the catalogue is read or written, the buttons that would start another turn wait.
  void setBusy(bool busy);

  // The file of the video selected in the list (empty when none), and the actions on it.
  QString selectedFile() const;
  void openSelected();
  void openSelectedFolder();

  QTableView* videoTable() const { return videos_; }
  QTableView* failureTable() const { return failures_; }
  QLineEdit* searchBox() const { return search_; }
  QPushButton* retryButton() const { return retry_; }
  QLabel* noticeLabel() const { return notice_; }

 private:
  void updateSummary();
  void open(const QString& file, bool folder);

  Events events_;
  std::function<void(const QUrl&)> opener_;
  CollectedVideoModel* videoModel_;
  FailedVideoModel* failureModel_;
  QSortFilterProxyModel* sorted_;
  QLineEdit* search_;
  QTableView* videos_;
  QTableView* failures_;
  QLabel* summary_;
  QLabel* failureTitle_;
  QLabel* notice_;
  QPushButton* refresh_;
  QPushButton* export_;
  QPushButton* retry_;
};

}  // namespace pelvaro
