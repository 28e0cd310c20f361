#pragma once
// The collector's video downloads on top of the program's one RangedDownloader. Each download
// has its own progress and end, so that one download's state never ends another's wait. A
// download is written to its partial file (PartialNameFor; locked while it is written) and,
// once it is complete, has the size the server announced and is flushed, recorded in its
// docid's claim, renamed to its final name, the folder flushed, and only then is the history
// marker of its docid written and flushed. A failed download leaves neither the partial file
// nor a marker, and says why. All of this happens when the download ends, on the downloader's
// thread, so a download that outlives the crawl's wait (or the crawl itself) still ends complete
// and marked, or leaves nothing behind. Then every subscriber hears of the end (DownloadEnd). Every file of a
// download is made, renamed and removed inside its folder opened once, so no link planted on the way
// redirects a write. A marker that cannot be written leaves the complete file and its claim's record for the
// next run, and halts the crawl (haltReason).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "collector/docid_claim.h"
#include "collector/download_end.h"
#include "platform/claim_file.h"
#include "platform/folder_handle.h"
#include "platform/text.h"
#include "web/download_failure.h"

namespace pelvaro {

class RangedDownloader;

// Where a video goes: the output folder (the user's choice; a link there is followed), the
// folders below it that the program makes for it (category, portrait; a link there fails the
// video), and the file name.
struct VideoPlace {
  Path outputFolder;
  std::vector<Path> subfolders;
  Path fileName;
  // Every part joined: the path the user sees and the catalogue keeps.
  Path path() const;
};

class VideoDownload {
 public:
  using State = DownloadState;

  State state() const;
  // The fraction done, from 0 to 1.
  double fraction() const;
  // The size of the finished file in bytes (0 until complete).
  std::int64_t bytes() const;
  const Path& path() const { return path_; }
  const Text& docid() const { return docid_; }
  const Text& url() const { return url_; }
  // Why a failed download failed (None otherwise), and that reason as the program shows it.
  DownloadFailure failure() const;
  Text failureText() const;

  // Waits up to `duration` for the download to end. Returns false when the calling thread's
  // job was asked to stop.
  bool waitFor(std::chrono::milliseconds duration) const;

  // The crawl whose stop token this is waits no longer: the end's witness is the background
  // (or no crawl, once that crawl was stopped). False when the download has ended already.
  bool stopWaiting(std::stop_token crawl);

 private:
  friend class VideoDownloads;
  VideoDownload(VideoRecord video, Path path, Path name, RowHandle row, std::shared_ptr<ClaimFile> claim)
      : video_(std::move(video)),
        url_(video_.url),
        path_(std::move(path)),
        name_(std::move(name)),
        docid_(video_.docid),
        row_(row),
        claim_(std::move(claim)) {}

  const VideoRecord video_;
  const Text url_;
  const Path path_;
  const Path name_;  // the file's name in its folder
  const Text docid_;
  const RowHandle row_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  // The open folder of the file; not valid when it could not be opened (the download failed).
  std::shared_ptr<const FolderHandle> folder_;
  std::shared_ptr<ClaimFile> claim_;  // under mutex_
  mutable std::mutex mutex_;
  mutable std::condition_variable_any changed_;
  State state_ = State::Running;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
  std::int64_t bytes_ = 0;
  DownloadFailure failure_;
  // Set once the crawl stopped waiting: that crawl's stop token.
  std::optional<std::stop_token> waiter_;
};

// What a download is to fetch and where, and what its end tells its subscribers.
struct DownloadRequest {
  // The video (its url and docid): the end hands it on to the subscribers.
  VideoRecord video;
  VideoPlace place;
  RowHandle row = kNoRow;  // the list row that shows it
  // Judges the size the server's probe announced before any byte is written: a failure fails
  // the download with that reason.
  std::function<DownloadFailure(std::int64_t bytes)> checkSize;
  // The docid's claim, held until the download ends.
  std::shared_ptr<ClaimFile> claim;
};

class VideoDownloads {
  struct Shared;

 public:
  // A subscriber hears every event from its subscription until the subscription goes; its end
  // waits until an event calling into the subscriber has returned.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription();

   private:
    friend class VideoDownloads;
    Subscription(std::shared_ptr<Shared> shared, DownloadSubscriber* subscriber)
        : shared_(std::move(shared)), subscriber_(subscriber) {}
    void end();
    std::shared_ptr<Shared> shared_;
    DownloadSubscriber* subscriber_ = nullptr;
  };

  explicit VideoDownloads(RangedDownloader& downloader);
  // Stops the downloads that still run and removes their partial files: they end without a
  // marker, as if they had failed (the program is ending). From then on no end calls out any
  // more, and an end that is calling out (into the catalogue, a window) has returned before
  // this does, so nothing it calls may go before.
  ~VideoDownloads();
  VideoDownloads(const VideoDownloads&) = delete;
  VideoDownloads& operator=(const VideoDownloads&) = delete;

  // Subscribers hear each event in the order they subscribed.
  [[nodiscard]] Subscription subscribe(DownloadSubscriber& subscriber);

  // Starts fetching the video's url into the place (through its partial file); on completion
  // records its docid in the history. Returns at once; a start that fails (a folder on the way
  // is a link, the size check refused the file, the server said no) gives a download that has
  // already failed. The subscribers hear of the end once the download has ended and before it
  // stops counting as running (so waitAll() covers them): a complete one after its marker, a
  // failed one after its partial file is gone. A start that a stop of the calling worker cut
  // short ends stopped.
  std::shared_ptr<VideoDownload> start(DownloadRequest request);

  // Why the crawl must stop (a marker that could not be written), or the empty text; the first
  // reason given stays until clearHalt().
  Text haltReason() const;
  void halt(const Text& reason);
  void clearHalt();

  // Whether a running download (of this program or, by its locked partial file or claim, of
  // another copy) writes this file, or takes this docid.
  bool writes(const Path& path) const;
  bool takes(const Text& docid) const;

  // Every byte the downloads have received so far (the desktop's speed and totals).
  std::int64_t bytesReceived() const;

  // Waits until no download runs (the terminal front end before it exits).
  void waitAll() const;
  // The same for at most `timeout`; true when none runs any more.
  bool waitAllFor(std::chrono::milliseconds timeout) const;

  // From now on no event calls out to the subscribers; returns once every event that was
  // calling out has returned. For an owner about to take down what the ends call
  // (the form, the catalogue) while downloads may still end on their own threads.
  void detach();

  // Stops every running download, waits until its transfers have ended and removes its partial
  // file: it ends failed and stopped, without a marker. Returns the docids of the downloads it
  // stopped. A download that completes meanwhile stays complete.
  std::vector<Text> stopAll();

 private:
  // How a download ends: on its own, or stopped by the program.
  enum class Ending { OnItsOwn, Stopped };
  // `ownsPart`: the partial file is this download's (false when its start found it taken).
  static void Finish(const std::shared_ptr<Shared>& shared, const std::shared_ptr<VideoDownload>& download,
                     DownloadFailure failure, std::int64_t total, Ending ending = Ending::OnItsOwn,
                     bool ownsPart = true);
  // Calls every subscriber with the event, unless the downloads are detached; false when that
  // called nobody.
  template <typename Event>
  static bool CallOut(const std::shared_ptr<Shared>& shared, const Event& event);

  RangedDownloader& downloader_;
  std::shared_ptr<Shared> shared_;
};

// The end of a complete download, in the only order that keeps a marker truthful: record the
// file in the claim, rename the flushed partial file to its final name in its folder (never over
// an existing file), flush the folder, then write and flush the marker. Returns the failure that
// stopped it (None when it is done); HistoryUnwritable leaves the renamed file and the claim's
// record.
DownloadFailure CommitVideoFile(const FolderHandle& folder, const Path& partName, const Path& name,
                                const FinishedFile& file, ClaimFile* claim = nullptr);

}  // namespace pelvaro
