#include "app/desktop/desktop_program.h"

#include <QApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "app/desktop/end_process.h"
#include "app/desktop/qt_speech_output.h"
#include "app/desktop/row_video.h"
#include "app/desktop/update_relay_form.h"
#include "collector/catalogue_choice.h"
#include "collector/categories.h"
#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/output_layout.h"
#include "platform/files.h"
#include "platform/window_layout.h"
#include "shell/app_identity.h"
#include "shell/bug_report.h"
#include "shell/extras.h"
#include "shell/settings_store.h"
#include "shell/startup_steps.h"
#include "shell/updater.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_audio_output.h"
#include "ui/qt_form.h"
#include "ui/qt_text.h"
#include "ui/skin.h"
#include "ui/startup_window.h"
#include "ui/window_builder.h"

namespace pelvaro {
namespace {

namespace mw = main_window;
namespace sw = startup_window;

// The skin as the start-up window's creation applies it: no hue turn, no brightness change.
constexpr int kSkinHue = 0;
constexpr int kSkinValue = 0;
// The start-up window leaves the screen to the left before it hides.
constexpr int kParkedLeft = -3000;
// How often the status bar's totals are brought up to date.
constexpr int kTotalsIntervalMs = 1000;

// The update panel's text on one line, for the main window's status bar.
QString OneLine(const Text& text) {
  QString line = QtFromGbk(text);
  line.replace(QStringLiteral("\r\n"), QStringLiteral("  "));
  line.replace(QLatin1Char('\r'), QLatin1Char(' '));
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return line;
}

}  // namespace

// The update flow keeps the form it was given for as long as its download runs, on threads
// nobody waits for, possibly past this object. The form therefore has its own lifetime: it is
// never destroyed while the process lives, and its operations do nothing once the start-up
// window is gone (QtForm holds the window weakly).
struct DesktopProgram::UpdateSide {
  UpdateSide(StartupWindow& window, UpdateRelayForm::Listeners listeners)
      : startup(&window, StartupWindowDesign()), relay(startup, std::move(listeners)) {}
  QtForm startup;
  UpdateRelayForm relay;
};

namespace {

// Every update side made in this process, so that each stays reachable until the process ends.
std::vector<DesktopProgram::UpdateSide*>& KeptUpdateSides() {
  static auto* kept = new std::vector<DesktopProgram::UpdateSide*>;
  return *kept;
}

}  // namespace

UpdateRelayForm::Listeners DesktopProgram::updateListeners() {
  // The update flow writes from its own threads; what it writes reaches the main window through
  // the GUI thread's queue, never by waiting.
  auto post = [this, alive = std::weak_ptr<int>(alive_)](std::function<void(DesktopProgram&)> show) {
    QMetaObject::invokeMethod(
        qApp,
        [this, alive, show = std::move(show)] {
          if (alive.lock()) show(*this);
        },
        Qt::QueuedConnection);
  };
  UpdateRelayForm::Listeners listeners;
  listeners.updatePanelText = [post](const Text& text) {
    post([text](DesktopProgram& program) { program.showUpdateText(text); });
  };
  listeners.openButtonShown = [post](const Text& caption) {
    post([caption](DesktopProgram& program) { program.showOpenNewVersion(caption); });
  };
  return listeners;
}

DesktopProgram::DesktopProgram(DesktopOptions options) : options_(std::move(options)) {
  player_ = std::make_unique<QtAudioOutput>();
  speech_ = std::make_unique<QtSpeechOutput>(*player_);

  StartupWindow::Events events;
  events.created = [](StartupWindow&) { ApplySkin(kSkinHue, kSkinValue); };
  events.timerTick = [this](StartupWindow&) { runStartupSequence(); };
  events.helpClicked = [](StartupWindow& window) { window.form().messageBox(HelpMessage()); };
  // Speaking may first fetch the speech from the network: never on the GUI thread.
  events.speakClicked = [this](StartupWindow&) {
    AudioOutput* audio = speech_.get();
    speaker_.Start([audio] { SpeakIntroduction(audio); });
  };
  events.closeClicked = [this](StartupWindow&) { end(0); };
  events.closing = [this](StartupWindow&) { end(0); };
  events.openNewVersionClicked = [this](StartupWindow&) { openNewVersion(); };
  startup_ = std::make_unique<StartupWindow>(std::move(events));

  updateSide_ = new UpdateSide(*startup_, updateListeners());
  KeptUpdateSides().push_back(updateSide_);
  startup_->show();
}

DesktopProgram::~DesktopProgram() {
  std::vector<Worker*> workers = {&categoryLoader_, &speaker_};
  for (auto& job : jobs_) workers.push_back(job.get());
  if (crawl_) workers.push_back(&crawl_->worker());
  if (contribute_) workers.push_back(&contribute_->worker());
  for (Worker* worker : workers) worker->RequestStop();
  for (Worker* worker : workers) worker->Join();
  // The update side stays: a download may still report into it (see UpdateSide).
}

void DesktopProgram::runStartupSequence() {
  // The timer is switched off as the sequence's first step; the flag also covers a tick that
  // was already queued while a step (the disclaimer) ran its own event loop.
  if (sequenceRan_) return;
  sequenceRan_ = true;
  StartupActions actions;
  if (options_.installFatalErrorHandler)
    actions.installFatalErrorHandler = [] { InstallFatalErrorHandler(); };
  actions.startThread = [this](std::function<void()> job) { startJob(std::move(job)); };
  actions.handOver = [this] { handOver(); };
  StartupSequence(updateSide_->relay, actions);
}

void DesktopProgram::startJob(std::function<void()> job) {
  jobs_.push_back(std::make_unique<Worker>());
  jobs_.back()->Start(std::move(job));
}

void DesktopProgram::handOver() {
  createMainWindow();
  main_->show();
  Form& startup = startup_->form();
  startup.moveWindow(kParkedLeft, startup_->y());
  startup.setWindowVisible(false);
  // A box the start-up window opened before (help, the update prompt) must not vanish with it
  // or hold the main window back.
  ReleaseDialogsOf(startup_.get());
  if (options_.afterHandOver) options_.afterHandOver();
}

void DesktopProgram::createMainWindow() {
  MainWindow::Events events;
  events.created = [this](MainWindow& window) { onMainWindowCreated(window); };
  events.closing = [this](MainWindow&) { exitFromMainWindow(); };
  events.crawlClicked = [this](MainWindow& window) { toggleCrawl(window.form()); };
  events.contributeClicked = [this](MainWindow&) { contribute_->Toggle(); };
  events.saveClicked = [](MainWindow& window) {
    SettingsStore::SaveOnClose(window.form());
    window.form().messageBox(Gbk("设置已经被保存"));
  };
  events.folderLabelPressed = [](MainWindow& window) { PickOutputFolder(window.form()); };
  events.addToIndexChosen = [](MainWindow& window) { AddSelectedToIndexQueue(window.form()); };
  events.clearListChosen = [](MainWindow& window) { ClearVideoList(window.form()); };
  events.cancelChosen = [](MainWindow& window) { CancelContextMenu(window.form()); };
  events.rowVideo = [this](MainWindow& window, RowHandle row) {
    return RowVideoOf(window.form(), row, catalogue_.get());
  };
  events.collectedShown = [this](MainWindow&) {
    if (collected_) collected_->refresh();
  };
  main_ = std::make_unique<MainWindow>(std::move(events));
  showTotals();
  if (!updateText_.empty()) showUpdateText(updateText_);
  if (openShown_) showOpenNewVersion(openCaption_);
}

void DesktopProgram::onMainWindowCreated(MainWindow& window) {
  Form& form = window.form();
  form.setTextUtf8(mw::kOutputFolder, DefaultOutputFolder().bytes());
  SettingsStore::LoadOnCreate(form);
  Form* log = &form;
  CatalogueBackend::Notice notice = [log](const Text& line) { AppendLog(*log, line); };
  if (catalogue_) {
    catalogue_->setNotice(std::move(notice));
  } else {
    // A value that names no server is no reason to lose the data folder's catalogue.
    const std::string uri = SettingsStore::sharedCatalogueUri();
    catalogue_ = OpenCatalogue(IsSharedCatalogueUri(uri) ? uri : std::string(), std::move(notice));
  }
  subscribers_ = std::make_unique<CrawlSubscribers>(downloads_, form, catalogue_.get());
  crawl_ = std::make_unique<CrawlSession>(CrawlContext{form, downloads_, subscribers_->reporter(),
                                                       options_.crawlTiming, &NoCrawlObserver(),
                                                       catalogue_.get()});
  contribute_ = std::make_unique<ContributeSession>(form, options_.contributeTiming, nullptr, &downloads_);
  collected_ = std::make_unique<CollectedSource>(*window.collectedView(), catalogue_.get());
  auto* clock = new QTimer(&window);
  QObject::connect(clock, &QTimer::timeout, &window, [this] { showTotals(); });
  clock->start(kTotalsIntervalMs);
  Form* target = &form;
  categoryLoader_.Start([target] { LoadCategoryList(*target); });
  form.setCaption(Gbk("Pelvaro视频采集助手v") + AppVersion());
}

void DesktopProgram::showTotals() {
  if (!main_ || main_->totalsLabel() == nullptr) return;
  const std::string text = totals_.sample(downloads_.bytesReceived(), CrawlTotals::Clock::now());
  main_->totalsLabel()->setText(QString::fromStdString(text));
}

QLabel* DesktopProgram::crawlStatusLabel() const {
  if (!main_) return nullptr;
  return StatusPanel(main_->findChild<QStatusBar*>(QtFromUtf8(mw::kStatusBar)), mw::kMessagePanel);
}

void DesktopProgram::toggleCrawl(Form& form) {
  // Found before the first request, not video by video: a folder that cannot take videos
  // would fail every download.
  if (!crawl_->running()) {
    const Path folder = CollectorSettings(form).outputFolder();
    if (const int error = FolderWriteError(folder); error != 0) {
      form.messageBox(OutputFolderProblem(folder, error));
      return;
    }
  }
  crawl_->Toggle();
}

void DesktopProgram::exitFromMainWindow() {
  SettingsStore::SaveOnClose(main_->form());
  // The process ends without destructors: rows still owed get their chance now.
  if (catalogue_) catalogue_->flushOwed(std::chrono::milliseconds(Catalogue::kBusyTimeoutMs));
  end(0);
}

void DesktopProgram::openNewVersion() {
  if (!OpenNewVersion()) {
    // The program carries on; the user learns why nothing started and where the file is.
    Text message = Gbk("新版本无法启动，请到软件所在的文件夹中手动打开。");
    if (const Path target = UpdateTarget(); !target.empty()) message += "\r\n" + PathText(target);
    Form& owner = main_ ? main_->form() : startup_->form();
    owner.messageBox(message);
    return;
  }
  // The new version takes over the same data folder: it finds the settings as they are now.
  if (main_) SettingsStore::SaveOnClose(main_->form());
  end(0);
}

void DesktopProgram::ensureUpdateStrip() {
  if (!main_ || updateLabel_) return;
  // The update's text sits between the message panel and the totals, its button beside them.
  QStatusBar* bar = main_->statusBar();
  updateLabel_ = new QLabel(bar);
  updateLabel_->setTextFormat(Qt::PlainText);
  bar->insertWidget(1, updateLabel_, 1);
  updateOpenButton_ = new QPushButton(QtFromGbk(Gbk("打开最新版")), bar);
  updateOpenButton_->setVisible(false);
  QObject::connect(updateOpenButton_, &QPushButton::clicked, main_.get(), [this] { openNewVersion(); });
  bar->insertPermanentWidget(0, updateOpenButton_);
}

void DesktopProgram::showUpdateText(const Text& text) {
  updateText_ = text;
  if (!main_) return;
  ensureUpdateStrip();
  updateLabel_->setText(QtFromGbk(Gbk("软件更新：")) + OneLine(text));
}

void DesktopProgram::showOpenNewVersion(const Text& caption) {
  openShown_ = true;
  openCaption_ = caption;
  if (!main_) return;
  ensureUpdateStrip();
  if (!caption.empty()) updateOpenButton_->setText(QtFromGbk(caption));
  updateOpenButton_->setVisible(true);
}

void DesktopProgram::end(int code) {
  if (options_.endProcess) {
    options_.endProcess(code);
    return;
  }
  EndOwnProcess(code);
}

}  // namespace pelvaro
