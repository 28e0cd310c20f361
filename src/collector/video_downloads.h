#pragma once
// The collector's video downloads on top of the program's one RangedDownloader. Each download
// has its own progress and end, so that one download's state never ends another's wait. A
// download is written to its partial file (PartialNameFor; locked while it is written) and,
// once it is complete, has the size the server announced and is flushed, recorded in its
// docid's claim, renamed to its final name, the folder flushed, and only then is the history
// marker of its docid written and flushed. A failed download leaves neither the partial file
// nor a marker, and says why. All of this happens when the download ends, on the downloader's
// thread, so a download that outlives the crawl's wait (or the crawl itself) still ends complete
// and marked, or leaves nothing behind. Every file of a download is made, renamed and removed
// inside its folder opened once, so no link planted on the way redirects a write. A marker that
// cannot be written leaves the complete file and its claim's record for the next run, and halts
// the crawl (haltReason).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "collector/docid_claim.h"
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
  enum class State { Running, Complete, Failed };
  // Told once of the end of a download that was still running when it was set.
  using LateListener = std::function<void(const VideoDownload&)>;

  State state() const;
  // The fraction done, from 0 to 1.
  double fraction() const;
  // The size of the finished file in bytes (0 until complete).
  std::int64_t bytes() const;
  const Path& path() const { return path_; }
  const Text& docid() const { return docid_; }
  const Text& url() const { return url_; }
  // The docid's claim while the download runs; once it is complete and marked, the claim still
  // holds the file's record, which whoever writes the catalogue row removes (null when the
  // docid could not be claimed).
  std::shared_ptr<ClaimFile> claim() const;
  // Why a failed download failed (None otherwise), and that reason as the program shows it.
  DownloadFailure failure() const;
  Text failureText() const;

  // Waits up to `duration` for the download to end. Returns false when the calling thread's
  // job was asked to stop.
  bool waitFor(std::chrono::milliseconds duration) const;

  // Sets the listener for the end of a download nobody waits for any more. False (and no
  // listener) when it has ended already.
  bool setLateListener(LateListener listener);

 private:
  friend class VideoDownloads;
  VideoDownload(Text url, Path path, Path name, Text docid, std::shared_ptr<ClaimFile> claim)
      : url_(std::move(url)),
        path_(std::move(path)),
        name_(std::move(name)),
        docid_(std::move(docid)),
        claim_(std::move(claim)) {}

  const Text url_;
  const Path path_;
  const Path name_;  // the file's name in its folder
  const Text docid_;
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
  LateListener late_;
};

class VideoDownloads {
 public:
  // Called once when a download ends (complete or failed), on whichever thread ended it; not
  // for a start that a stop of the calling worker cut short.
  using EndListener = std::function<void(const VideoDownload&)>;
  // Hears a line for the log whenever a download asks the server again.
  using RetryLog = std::function<void(const Text& line)>;
  // Judges the size the server's probe announced before any byte is written: a failure fails
  // the download with that reason.
  using SizeCheck = std::function<DownloadFailure(std::int64_t bytes)>;
  // Hears a notice for the log and the user (GBK).
  using Notice = std::function<void(const Text& line)>;
  // After this many downloads in a row failed for one cause of the machine or the network
  // (the same reason at the same host or folder), the cause is said once.
  static constexpr int kSameCauseRun = 3;

  explicit VideoDownloads(RangedDownloader& downloader);
  // Stops the downloads that still run and removes their partial files: they end without a
  // marker, as if they had failed (the program is ending). From then on no end calls out any
  // more, and an end that is calling out (into the catalogue, a window) has returned before
  // this does, so nothing it calls may go before.
  ~VideoDownloads();
  VideoDownloads(const VideoDownloads&) = delete;
  VideoDownloads& operator=(const VideoDownloads&) = delete;

  void setEndListener(EndListener listener);
  // Where the notice of a run of failures with one cause goes.
  void setNotice(Notice notice);

  // Starts fetching url into the place (through its partial file); on completion records docid
  // in the history. Returns at once; a start that fails (a folder on the way is a link, the
  // size check refused the file, the server said no) gives a download that has already failed.
  // `claim` is the docid's claim, held until the download ends. onEnd, when given, is called
  // once the download has ended and before it stops counting as running (so waitAll() covers
  // it): a complete one after its marker (onEnd then owns the claim's record: it removes it
  // once the catalogue row is stored), a failed one after its partial file is gone; like the
  // end listener, not for a start that a stop cut short.
  std::shared_ptr<VideoDownload> start(const Text& url, const VideoPlace& place, const Text& docid,
                                       RetryLog retryLog = {}, EndListener onEnd = {},
                                       SizeCheck checkSize = {}, std::shared_ptr<ClaimFile> claim = nullptr);

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

  // From now on no end calls out (end listener, onEnd, late listener); returns once every end
  // that was calling out has returned. For an owner about to take down what the ends call
  // (the form, the catalogue) while downloads may still end on their own threads.
  void detach();

  // Stops every running download, waits until its transfers have ended and removes its partial
  // file: it ends failed, without a marker and without a call of the end listener. Returns the
  // docids of the downloads it stopped. A download that completes meanwhile stays complete.
  std::vector<Text> stopAll();

 private:
  // Shared with the downloader's callbacks, which may outlive this object.
  struct Shared;
  // `ownsPart`: the partial file is this download's (false when its start found it taken).
  static void Finish(const std::shared_ptr<Shared>& shared, const std::shared_ptr<VideoDownload>& download,
                     const EndListener& onEnd, DownloadFailure failure, std::int64_t total,
                     bool report = true, bool ownsPart = true);

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
