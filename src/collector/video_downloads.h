#pragma once
// The collector's video downloads on top of the program's one RangedDownloader. Each download
// has its own progress and end, so that one download's state never ends another's wait. A
// download is written to name + ".part" and renamed to its final name once it is complete and
// has the size the server announced; only then is the history marker of its docid written. A
// failed download leaves neither the partial file nor a marker. All of this happens when the
// download ends, on the downloader's thread, so a download that outlives the crawl's wait (or
// the crawl itself) still ends complete and marked, or leaves nothing behind.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/text.h"

namespace pelvaro {

class RangedDownloader;

class VideoDownload {
 public:
  enum class State { Running, Complete, Failed };

  State state() const;
  // The fraction done, from 0 to 1.
  double fraction() const;
  // The size of the finished file in bytes (0 until complete).
  std::int64_t bytes() const;
  const Text& path() const { return path_; }
  const Text& docid() const { return docid_; }

  // Waits up to `duration` for the download to end. Returns false when the calling thread's
  // job was asked to stop.
  bool waitFor(std::chrono::milliseconds duration) const;

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
};

class VideoDownloads {
 public:
  // Called once when a download ends (complete or failed), on whichever thread ended it; not
  // for a start that a stop of the calling worker cut short.
  using EndListener = std::function<void(const VideoDownload&)>;

  explicit VideoDownloads(RangedDownloader& downloader);
  // Stops the downloads that still run and removes their partial files: they end without a
  // marker, as if they had failed (the program is ending).
  ~VideoDownloads();
  VideoDownloads(const VideoDownloads&) = delete;
  VideoDownloads& operator=(const VideoDownloads&) = delete;

  void setEndListener(EndListener listener);

  // Starts fetching url into path (through path + ".part"); on completion records docid in the
  // history. Returns at once; a start that fails gives a download that has already failed.
  std::shared_ptr<VideoDownload> start(const Text& url, const Text& path, const Text& docid);

  // Whether a running download writes this file, or takes this docid.
  bool writes(const Text& path) const;
  bool takes(const Text& docid) const;

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
                     bool complete, std::int64_t total, bool report = true);

  RangedDownloader& downloader_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace pelvaro
