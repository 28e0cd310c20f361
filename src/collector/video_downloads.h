#pragma once
// The collector's video downloads on top of the program's one RangedDownloader. Each download
// has its own progress and end, so that one download's state never ends another's wait. A
// download is written to name + ".part" (locked while it is written) and, once it is complete,
// has the size the server announced and is flushed, renamed to its final name, the folder
// flushed, and only then is the history marker of its docid written. A failed download leaves
// neither the partial file nor a marker, and says why. All of this happens when the download
// ends, on the downloader's thread, so a download that outlives the crawl's wait (or the crawl
// itself) still ends complete and marked, or leaves nothing behind.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/text.h"
#include "web/download_failure.h"

namespace pelvaro {

class RangedDownloader;

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
  const Text& path() const { return path_; }
  const Text& docid() const { return docid_; }
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
  VideoDownload(Text path, Text docid) : path_(std::move(path)), docid_(std::move(docid)) {}

  const Text path_;
  const Text docid_;
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

  explicit VideoDownloads(RangedDownloader& downloader);
  // Stops the downloads that still run and removes their partial files: they end without a
  // marker, as if they had failed (the program is ending).
  ~VideoDownloads();
  VideoDownloads(const VideoDownloads&) = delete;
  VideoDownloads& operator=(const VideoDownloads&) = delete;

  void setEndListener(EndListener listener);

  // Starts fetching url into path (through path + ".part"); on completion records docid in the
  // history. Returns at once; a start that fails gives a download that has already failed.
  // onEnd, when given, is called once the download has ended and before it stops counting as
  // running (so waitAll() covers it): a complete one after its marker, a failed one after its
  // partial file is gone; like the end listener, not for a start that a stop cut short.
  std::shared_ptr<VideoDownload> start(const Text& url, const Text& path, const Text& docid,
                                       RetryLog retryLog = {}, EndListener onEnd = {});

  // Whether a running download (of this program or, by its locked partial file, of another
  // copy) writes this file, or takes this docid.
  bool writes(const Text& path) const;
  bool takes(const Text& docid) const;

  // Every byte the downloads have received so far (the desktop's speed and totals).
  std::int64_t bytesReceived() const;

  // Waits until no download runs (the terminal front end before it exits).
  void waitAll() const;
  // The same for at most `timeout`; true when none runs any more.
  bool waitAllFor(std::chrono::milliseconds timeout) const;

  // Stops every running download, waits until its transfers have ended and removes its partial
  // file: it ends failed, without a marker and without a call of the end listener. Returns the
  // docids of the downloads it stopped. A download that completes meanwhile stays complete.
  std::vector<Text> stopAll();

 private:
  // Shared with the downloader's callbacks, which may outlive this object.
  struct Shared;
  static void Finish(const std::shared_ptr<Shared>& shared, const std::shared_ptr<VideoDownload>& download,
                     const EndListener& onEnd, DownloadFailure failure, std::int64_t total,
                     bool report = true);

  RangedDownloader& downloader_;
  std::shared_ptr<Shared> shared_;
};

// The end of a complete download, in the only order that keeps a marker truthful: rename the
// flushed partial file to its final name (never over an existing file), flush the folder,
// then write the marker. Returns the failure that stopped it (None when it is done).
DownloadFailure CommitVideoFile(const Text& partPath, const Text& path, const Text& docid);

// Removes the leftover partial files of killed runs (nobody holds them locked) in the output
// folder and the sub-folders the program writes (categories and their portrait folders).
int RemoveLeftoverPartials(const Text& outputFolder, bool withSubfolders);

}  // namespace pelvaro
