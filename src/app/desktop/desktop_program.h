#pragma once
// The desktop program: the process-wide objects, the start-up window with its one-shot
// start-up sequence, the hand-over to the main window, the main window's bindings, and every
// way the program ends. Construct it once, on the GUI thread, after the application object
// and InstallQtGuiWaitHook; the event loop does the rest.
//
// The program ends only through EndOwnProcess (or the endProcess option): closing the main
// window saves its settings first, 关闭软件 and the start-up window's own close do not. No
// thread is ever waited for on the GUI thread: toggles and the end set stop tokens and return.

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/desktop/collected_source.h"
#include "app/desktop/crawl_totals.h"
#include "app/desktop/update_relay_form.h"
#include "collector/catalogue.h"
#include "collector/contribute_session.h"
#include "collector/crawl_session.h"
#include "collector/crawl_subscribers.h"
#include "collector/crawl_timing.h"
#include "collector/video_downloads.h"
#include "platform/worker.h"
#include "web/ranged_downloader.h"

namespace pelvaro {

class MainWindow;
class StartupWindow;
class QtAudioOutput;
class QtSpeechOutput;

struct DesktopOptions {
  CrawlTiming crawlTiming{};
  ContributeTiming contributeTiming{};
  // Ends the process with an exit code; EndOwnProcess when empty. Tests record the call.
  std::function<void(int)> endProcess;
  // The fatal-error handler re-executes the program; tests that run in-process leave it out.
  bool installFatalErrorHandler = true;
  // Runs on the GUI thread right after the hand-over (the test automation hooks in here).
  std::function<void()> afterHandOver;
};

class DesktopProgram {
 public:
  explicit DesktopProgram(DesktopOptions options = {});
  // Reached by tests only (the program ends through EndOwnProcess): stops every worker and
  // waits for them, so that no worker outlives the windows it writes to.
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  StartupWindow& startupWindow() { return *startup_; }
  // Null until the hand-over.
  MainWindow* mainWindow() { return main_.get(); }
  CrawlSession* crawlSession() { return crawl_.get(); }
  ContributeSession* contributeSession() { return contribute_.get(); }
  Worker& categoryLoader() { return categoryLoader_; }
  VideoDownloads& downloads() { return downloads_; }
  CrawlTotals& totals() { return totals_; }
  // The source of the page 已采集; null until the hand-over.
  CollectedSource* collectedSource() { return collected_.get(); }

  // Whether the start-up sequence has run (it runs once, on the first tick of 时钟1).
  bool startedUp() const { return sequenceRan_; }

  // The update's progress as the main window shows it (empty while no update runs).
  QLabel* updateStatusLabel() const { return updateLabel_; }
  // The status bar's crawl panel: why the platform gives no answer, while that lasts.
  QLabel* crawlStatusLabel() const;
  QPushButton* openNewVersionButton() const { return updateOpenButton_; }

  // The form the start-up sequence and the update flow write to (defined with the program).
  struct UpdateSide;

 private:
  UpdateRelayForm::Listeners updateListeners();
  void runStartupSequence();
  void startJob(std::function<void()> job);
  void handOver();
  void createMainWindow();
  void onMainWindowCreated(MainWindow& window);
  void exitFromMainWindow();
  void openNewVersion();
  void showUpdateText(const Text& text);
  void showOpenNewVersion(const Text& caption);
  void toggleCrawl(Form& form);
  void ensureUpdateStrip();
  void showTotals();
  void end(int code);

  DesktopOptions options_;
  // Before the downloads: a download that ends writes its row into the catalogue and counts in
  // the totals.
  std::unique_ptr<CatalogueBackend> catalogue_;
  CrawlTotals totals_;
  // The collector's one downloader and the downloads on it; both live for the whole run.
  RangedDownloader downloader_;
  VideoDownloads downloads_{downloader_};
  const VideoDownloads::Subscription counted_ = downloads_.subscribe(totals_);

  std::unique_ptr<QtAudioOutput> player_;
  std::unique_ptr<QtSpeechOutput> speech_;
  std::unique_ptr<StartupWindow> startup_;
  // The start-up window as the start-up sequence and the update flow see it.
  UpdateSide* updateSide_ = nullptr;
  std::unique_ptr<MainWindow> main_;
  // After the window and the catalogue: its subscriptions end before they go.
  std::unique_ptr<CrawlSubscribers> subscribers_;
  std::unique_ptr<CrawlSession> crawl_;
  std::unique_ptr<ContributeSession> contribute_;
  std::unique_ptr<CollectedSource> collected_;

  Worker categoryLoader_;
  Worker speaker_;
  std::vector<std::unique_ptr<Worker>> jobs_;  // update and announcement jobs

  // Tells work queued for the GUI thread whether this object still exists; only the GUI thread,
  // which also destroys it, looks.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  bool sequenceRan_ = false;
  // The latest update texts, kept for a main window that does not exist yet.
  Text updateText_;
  Text openCaption_;
  bool openShown_ = false;
  QPointer<QLabel> updateLabel_;
  QPointer<QPushButton> updateOpenButton_;
};

}  // namespace pelvaro
