// How long the page 已采集 takes to open on a catalogue of 10,000 videos: from the refresh until
// every row is in the list and the list has been drawn, against the sqlite3 shell reading the
// same rows into /dev/null in the same run. While the page reads, a thread asks the catalogue
// what the crawl asks before each video; the longest of those waits shows that the page does
// not hold the crawl up.
// Usage: bench_collected_view [ROWS] [ROUNDS]   (defaults 10000 and 5)
// Prints "figure collected_view_open_ms", "figure sqlite3_select_ms", the crawl's longest wait
// while the page reads and while nothing does, and "ratio collected_view_open <ours / sqlite3>".

#include <stdlib.h>

#include <QApplication>
#include <QTableView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop/collected_source.h"
#include "collector/catalogue.h"
#include "collector/sqlite_database.h"
#include "ui/collected_view.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace pelvaro;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The rows in one transaction through a connection of its own (the catalogue made the tables).
bool Fill(const std::string& file, int rows) {
  SqliteDatabase db;
  if (db.open(file) != 0 || db.exec("BEGIN") != 0) return false;
  SqliteStatement insert;
  if (insert.prepare(db,
                     "INSERT INTO videos (docid, title, category, published, duration_s, width, height,"
                     " size_bytes, url, path, taken_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") != 0)
    return false;
  for (int i = 0; i < rows; ++i) {
    const std::string docid = "V_bench" + std::to_string(i);
    insert.bind(1, docid);
    insert.bind(2, "第" + std::to_string(i) + "个视频的标题，带着一些长度");
    insert.bind(3, i % 3 == 0 ? "娱乐" : "旅游");
    insert.bind(4, "2026-12-09 08:00:00");
    insert.bind(5, std::int64_t{30 + i % 600});
    insert.bind(6, std::int64_t{1280});
    insert.bind(7, std::int64_t{720});
    insert.bind(8, std::int64_t{1000000 + i * 37});
    insert.bind(9, "https://127.0.0.1/video/" + docid + "/2.mp4");
    insert.bind(10, "/srv/video/" + docid + ".mp4");
    insert.bind(11, "2026-12-09T10:00:00+08:00");
    if (insert.step() != 101 /* SQLITE_DONE */) return false;
    insert.reset();
  }
  return db.exec("COMMIT") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  QApplication app(argc, argv);

  char pattern[] = "/tmp/pelvaro-bench-collected-XXXXXX";
  const std::string root = mkdtemp(pattern);
  const std::string file = root + "/catalogue.db";
  int status = 0;
  {
    Catalogue catalogue{Path(file)};
    if (!catalogue.usable() || !Fill(file, rows)) {
      std::fprintf(stderr, "bench_collected_view: cannot make the catalogue in %s\n", root.c_str());
      return 1;
    }
    CollectedView view;
    view.resize(1200, 700);
    view.show();
    CollectedSource source(view, &catalogue);

    // The crawl's question, asked every millisecond while `busy` holds; the longest answer.
    auto probe = [&catalogue](std::atomic<bool>& busy, double& longest) {
      while (busy) {
        const auto asked = Clock::now();
        catalogue.attempts("V_bench1");
        longest = std::max(longest, Ms(Clock::now() - asked));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    };
    std::vector<double> ours;
    double longestWait = 0;
    double longestIdle = 0;
    for (int round = 0; round < rounds; ++round) {
      std::atomic<bool> reading{true};
      double longest = 0;
      std::thread crawl([&] { probe(reading, longest); });
      view.showVideos({});
      const auto started = Clock::now();
      source.refresh();
      while (view.videoTable()->model()->rowCount() < rows || source.worker().Running()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
      }
      view.videoTable()->viewport()->repaint();
      ours.push_back(Ms(Clock::now() - started));
      reading = false;
      crawl.join();
      longestWait = std::max(longestWait, longest);
      // The same questions for as long while nothing reads, for comparison.
      std::atomic<bool> idle{true};
      double longestQuiet = 0;
      std::thread quiet([&] { probe(idle, longestQuiet); });
      std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(ours.back())));
      idle = false;
      quiet.join();
      longestIdle = std::max(longestIdle, longestQuiet);
    }

    const std::string peerCommand = "sqlite3 '" + file +
                                    "' 'SELECT docid, title, category, published, duration_s, width, height,"
                                    " size_bytes, url, path, taken_at FROM videos' > /dev/null";
    std::vector<double> peer;
    for (int round = 0; round < rounds; ++round) {
      const auto started = Clock::now();
      if (std::system(peerCommand.c_str()) != 0) status = 1;
      peer.push_back(Ms(Clock::now() - started));
    }
    std::printf("figure collected_view_open_ms %.1f ms (%d rows)\n", Median(ours), rows);
    std::printf("figure sqlite3_select_ms %.1f ms\n", Median(peer));
    std::printf("figure crawl_read_longest_wait_ms %.2f ms (while the page reads)\n", longestWait);
    std::printf("figure crawl_read_longest_wait_idle_ms %.2f ms (while nothing reads)\n", longestIdle);
    std::printf("ratio collected_view_open %.2f\n", Median(ours) / Median(peer));
  }
  std::filesystem::remove_all(root);
  return status;
}
