#include "collector/catalogue.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "collector/catalogue_csv.h"
#include "collector/catalogue_stats.h"
#include "collector/sqlite_database.h"

namespace pelvaro {
namespace {

namespace fs = std::filesystem;

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelvaro-catalogue-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(root_); }

  Path DbPath() const { return Path(root_ + "/data/catalogue.db"); }
  std::unique_ptr<Catalogue> Open() {
    return std::make_unique<Catalogue>(DbPath(),
                                       [this](const Text& line) { notices_.push_back(GbkToUtf8(line)); });
  }
  // The videos table's columns in the first files, before the rating column.
  static inline const std::string kFirstVideoColumns =
      "docid TEXT PRIMARY KEY, title TEXT, category TEXT, published TEXT, duration_s INTEGER, width INTEGER,"
      " height INTEGER, size_bytes INTEGER, url TEXT, path TEXT, taken_at TEXT";
  // A catalogue file made by hand with these statements, before the program opens it.
  bool WriteFile(const std::string& sql) {
    fs::create_directories(root_ + "/data");
    SqliteDatabase db;
    return db.open(root_ + "/data/catalogue.db") == 0 && db.exec(sql) == 0;
  }
  // One integer from a fresh connection of its own, as another program would see the file.
  int Query(const std::string& sql) {
    SqliteDatabase db;
    EXPECT_EQ(db.open(root_ + "/data/catalogue.db"), 0);
    int value = -1;
    EXPECT_EQ(db.queryInt(sql, &value), 0) << sql;
    return value;
  }

  std::string root_;
  std::vector<std::string> notices_;
};

CatalogueVideo Video(const std::string& docid, const std::string& category = "娱乐", std::int64_t bytes = 100,
                     const std::string& takenAt = "2026-12-09T10:00:00+08:00") {
  CatalogueVideo v;
  v.docid = docid;
  v.title = "标题" + docid;
  v.category = category;
  v.published = "2026-12-01 08:00:00";
  v.durationS = 61;
  v.width = 720;
  v.height = 1280;
  v.sizeBytes = bytes;
  v.url = "https://127.0.0.1/video/" + docid + "/2";
  v.path = "/v/" + docid + ".mp4";
  v.takenAt = takenAt;
  return v;
}

TEST_F(CatalogueTest, ANewFileGetsItsSchemaVersionAndWal) {
  auto catalogue = Open();
  ASSERT_TRUE(catalogue->usable());
  EXPECT_TRUE(notices_.empty());
  EXPECT_EQ(Query("PRAGMA user_version"), 2);
  EXPECT_EQ(Query("SELECT count(*) FROM videos"), 0);
  EXPECT_EQ(Query("SELECT count(*) FROM failures"), 0);
  std::string mode;
  ASSERT_TRUE(
      catalogue->read("PRAGMA journal_mode", [&](const SqliteStatement& row) { mode = row.text(0); }));
  EXPECT_EQ(mode, "wal");
}

TEST_F(CatalogueTest, FailuresCountUpToGivingUpAndASuccessOrARetryForgetsThem) {
  auto catalogue = Open();
  for (int attempt = 1; attempt <= 3; ++attempt) {
    EXPECT_FALSE(catalogue->givenUp("a")) << attempt;
    ASSERT_TRUE(catalogue->recordFailure("a", {FailureKind::Reset}));
    ASSERT_TRUE(catalogue->recordFailure("b", {FailureKind::HttpStatus, 404}));
    EXPECT_EQ(catalogue->attempts("a"), attempt);
  }
  EXPECT_TRUE(catalogue->givenUp("a"));
  // The next run sees the same count.
  catalogue = Open();
  EXPECT_TRUE(catalogue->givenUp("b"));
  ASSERT_TRUE(catalogue->recordVideo(Video("a")));
  EXPECT_EQ(catalogue->attempts("a"), 0);
  EXPECT_EQ(Query("SELECT count(*) FROM videos WHERE docid = 'a'"), 1);
  ASSERT_TRUE(catalogue->clearFailures());
  EXPECT_FALSE(catalogue->givenUp("b"));
  // Writing a row again replaces it.
  ASSERT_TRUE(catalogue->recordVideo(Video("a", "体育")));
  EXPECT_EQ(Query("SELECT count(*) FROM videos"), 1);
}

TEST_F(CatalogueTest, ADamagedFileIsSetAsideAndANewOneStarted) {
  fs::create_directories(root_ + "/data");
  std::string garbage(64 * 1024, '\0');
  std::mt19937 random(7);
  for (char& c : garbage) c = static_cast<char>(random());
  std::ofstream(root_ + "/data/catalogue.db", std::ios::binary) << garbage;

  auto catalogue = Open();
  ASSERT_TRUE(catalogue->usable());
  ASSERT_TRUE(catalogue->recordVideo(Video("a")));
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_NE(notices_[0].find("catalogue.db.broken-"), std::string::npos) << notices_[0];
  int broken = 0;
  for (const auto& entry : fs::directory_iterator(root_ + "/data")) {
    const std::string name = entry.path().filename();
    if (name.rfind("catalogue.db.broken-", 0) != 0) continue;
    ++broken;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), garbage) << "the damaged file is kept as it was";
  }
  EXPECT_EQ(broken, 1);
  EXPECT_EQ(Query("SELECT count(*) FROM videos"), 1);
}

TEST_F(CatalogueTest, ACatalogueThatCannotBeOpenedDoesNothingAndSaysSoOnce) {
  // The data folder's place is taken by a file: nothing can be created there.
  std::ofstream(root_ + "/data") << "x";
  auto catalogue = Open();
  EXPECT_FALSE(catalogue->usable());
  EXPECT_FALSE(catalogue->recordVideo(Video("a")));
  EXPECT_FALSE(catalogue->recordFailure("a", {FailureKind::Reset}));
  EXPECT_EQ(catalogue->attempts("a"), 0);
  EXPECT_FALSE(catalogue->givenUp("a"));
  std::string csv;
  EXPECT_FALSE(CatalogueCsv(*catalogue, &csv));
  EXPECT_EQ(notices_.size(), 1u);
}

TEST_F(CatalogueTest, AnotherCopysLongLockFailsWritesOnceLoudlyAndNeverBlocksReads) {
  auto catalogue = Open();
  ASSERT_TRUE(catalogue->recordFailure("x", {FailureKind::Reset}));
  SqliteDatabase other;
  ASSERT_EQ(other.open(root_ + "/data/catalogue.db"), 0);
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE; INSERT INTO failures (docid, attempts, last_reason, last_at) VALUES "
                       "('y', 1, 'r', 't')"),
            0);
  // The reading connection sees the last committed state while the other copy writes.
  EXPECT_EQ(catalogue->attempts("x"), 1);
  EXPECT_EQ(catalogue->attempts("y"), 0);
  bool stored = false;
  EXPECT_FALSE(catalogue->recordVideo(Video("a"), [&stored] { stored = true; }));
  EXPECT_FALSE(catalogue->recordFailure("x", {FailureKind::Reset}));
  EXPECT_EQ(notices_.size(), 1u);
  ASSERT_EQ(other.exec("COMMIT"), 0);
  // The next write that goes through brings the owed ones with it.
  EXPECT_TRUE(catalogue->recordVideo(Video("b")));
  EXPECT_TRUE(stored);
  EXPECT_EQ(catalogue->attempts("x"), 2);
  EXPECT_EQ(Query("SELECT count(*) FROM videos"), 2);
}

TEST_F(CatalogueTest, AFileDeletedUnderTheProgramIsNoticedAndMadeAgainWithItsRows) {
  auto catalogue = Open();
  ASSERT_TRUE(catalogue->recordVideo(Video("a")));
  ASSERT_TRUE(catalogue->recordFailure("f", {FailureKind::Reset}));
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(root_ + "/data/catalogue.db" + suffix);
  ASSERT_TRUE(catalogue->recordVideo(Video("b")));
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_NE(notices_[0].find("视频目录已被删除"), std::string::npos) << notices_[0];
  catalogue.reset();
  EXPECT_EQ(Query("SELECT count(*) FROM videos"), 2);
  EXPECT_EQ(Query("SELECT attempts FROM failures WHERE docid = 'f'"), 1);
  EXPECT_EQ(Query("PRAGMA user_version"), 2);
  int stray = 0;
  for (const auto& entry : fs::directory_iterator(root_ + "/data")) {
    stray += entry.path().filename().string().find(".new-") != std::string::npos;
  }
  EXPECT_EQ(stray, 0);
}

TEST_F(CatalogueTest, FailuresOfAFirstVersionFileGetTheirKindFromTheirWords) {
  ASSERT_TRUE(
      WriteFile("CREATE TABLE videos (" + kFirstVideoColumns +
                ");"
                "CREATE TABLE failures (docid TEXT PRIMARY KEY, attempts INTEGER, last_reason TEXT, last_at "
                "TEXT);"
                "INSERT INTO failures VALUES ('a', 1, '连接被重置', 't'), ('b', 2, 'HTTP 404', 't'),"
                " ('c', 1, '20秒没有收到数据', 't'), ('d', 3, '旧的说法', 't'), ('e', 1, 'HTTP 40x', 't');"
                "PRAGMA user_version = 1;"));
  auto catalogue = Open();
  ASSERT_TRUE(catalogue->usable());
  EXPECT_EQ(Query("PRAGMA user_version"), 2);
  const struct {
    const char* docid;
    const char* kind;
    int detail;
  } expected[] = {
      {"a", "reset", 0}, {"b", "http_status", 404}, {"c", "no_data", 20}, {"d", "", 0}, {"e", "", 0}};
  for (const auto& row : expected) {
    std::string kind = "unread";
    std::int64_t detail = -1;
    catalogue->read("SELECT coalesce(last_kind, ''), coalesce(last_detail, 0) FROM failures WHERE docid = ?",
                    {row.docid}, [&](const SqliteStatement& r) {
                      kind = r.text(0);
                      detail = r.integer(1);
                    });
    EXPECT_EQ(kind, row.kind) << row.docid;
    EXPECT_EQ(detail, row.detail) << row.docid;
  }
  // The words are made from the kind when shown; words no kind says any more stay as stored.
  ASSERT_TRUE(catalogue->recordFailure("b", {FailureKind::HttpStatus, 503}));
  CatalogueStats stats;
  ASSERT_TRUE(ReadCatalogueStats(*catalogue, &stats));
  const std::string text = FormatCatalogueStats(stats);
  EXPECT_NE(text.find("failure=HTTP 503 videos=1 attempts=3 given_up=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("failure=20秒没有收到数据 videos=1 attempts=1 given_up=0\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("failure=旧的说法 videos=1 attempts=3 given_up=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("failure=HTTP 40x videos=1"), std::string::npos) << text;
}

TEST_F(CatalogueTest, AFileOfANewerVersionIsUsedAsItIs) {
  ASSERT_TRUE(WriteFile("CREATE TABLE videos (" + kFirstVideoColumns +
                        ", rating INTEGER);"
                        "CREATE TABLE failures (docid TEXT PRIMARY KEY, attempts INTEGER, last_reason TEXT,"
                        " last_at TEXT, last_kind TEXT, last_detail INTEGER); PRAGMA user_version = 5;"));
  auto catalogue = Open();
  ASSERT_TRUE(catalogue->usable());
  EXPECT_TRUE(catalogue->recordVideo(Video("a")));
  EXPECT_EQ(Query("PRAGMA user_version"), 5);
  EXPECT_EQ(Query("SELECT count(*) FROM videos"), 1);
}

TEST_F(CatalogueTest, TwoThreadsAndAnotherProcessWriteAtOnce) {
  constexpr int kRows = 150;
  Open();  // the schema exists before anyone forks
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Catalogue catalogue(DbPath());
    int written = 0;
    for (int i = 0; i < kRows; ++i) {
      written += catalogue.recordVideo(Video("p" + std::to_string(i)));
      written += catalogue.recordFailure("f", {FailureKind::Reset});
    }
    _exit(written == 2 * kRows ? 0 : 1);
  }
  auto writer = [this](const std::string& prefix) {
    Catalogue catalogue(DbPath());
    for (int i = 0; i < kRows; ++i) {
      EXPECT_TRUE(catalogue.recordVideo(Video(prefix + std::to_string(i))));
      EXPECT_TRUE(catalogue.recordFailure("f", {FailureKind::Reset}));
    }
  };
  std::thread first(writer, "a"), second(writer, "b");
  first.join();
  second.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Query("SELECT count(*) FROM videos"), 3 * kRows);
  EXPECT_EQ(Query("SELECT attempts FROM failures WHERE docid = 'f'"), 3 * kRows);
  EXPECT_EQ(Query("SELECT count(*) FROM pragma_quick_check WHERE quick_check = 'ok'"), 1);
}

// Anyone may have written the file: its schema gets no trust, its shadow and schema tables no
// writes by SQL, and a statement that never ends is interrupted.
TEST_F(CatalogueTest, AHostileFileIsOpenedDefensivelyAndBoundedInTime) {
  fs::create_directories(root_ + "/data");
  SqliteDatabase db;
  ASSERT_EQ(db.open(root_ + "/data/hostile.db"), 0);
  int value = -1;
  ASSERT_EQ(db.queryInt("PRAGMA trusted_schema", &value), 0);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(db.exec("CREATE TABLE t (x)"), 0);
  EXPECT_NE(db.exec("PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = 'x'"), 0);
  db.setStatementTimeLimit(std::chrono::milliseconds(200));
  const std::string endless =
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c";
  EXPECT_EQ(db.queryInt(endless, &value) & 0xff, 9) << "SQLITE_INTERRUPT";
  EXPECT_EQ(db.exec("INSERT INTO t VALUES (1)"), 0) << "the connection goes on";

  // A link as the database file, or as its journal, is refused; a link above it is not.
  fs::create_symlink(root_ + "/data/elsewhere.db", root_ + "/data/linked.db");
  EXPECT_NE(SqliteDatabase().open(root_ + "/data/linked.db"), 0);
  EXPECT_FALSE(fs::exists(root_ + "/data/elsewhere.db"));
  fs::create_directory_symlink(root_ + "/data", root_ + "/alias");
  EXPECT_EQ(SqliteDatabase().open(root_ + "/alias/through-folder.db"), 0);

  // The catalogue with a trigger that never ends: the row fails within the limit, and the file
  // is no longer used for the run, so no later write waits again.
  {
    auto catalogue = Open();
    ASSERT_TRUE(catalogue->usable());
  }
  {
    SqliteDatabase raw;
    ASSERT_EQ(raw.open(root_ + "/data/catalogue.db"), 0);
    ASSERT_EQ(
        raw.exec("CREATE TRIGGER forever AFTER INSERT ON videos BEGIN SELECT count(*) FROM (WITH RECURSIVE "
                 "c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c); END"),
        0);
  }
  auto catalogue = Open();
  ASSERT_TRUE(catalogue->usable());
  EXPECT_FALSE(catalogue->recordVideo(Video("a")));
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_NE(notices_[0].find("interrupted"), std::string::npos) << notices_[0];
  EXPECT_FALSE(catalogue->usable());
  EXPECT_FALSE(catalogue->recordVideo(Video("b")));
  EXPECT_EQ(notices_.size(), 1u);
}

TEST(CatalogueCsvField, NetworkTextBecomesInertText) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"中文 标题", "中文 标题"},
      // Controls (C0, DEL, C1) go, the line stays one record; a tab reads as a space.
      {"two\nlines\r", "twolines"},
      {"a\x1b[31mb\x7f\xc2\x9b\xc2\x85"
       "c\td",
       "a[31mbc d"},
      // What a spreadsheet would run becomes text.
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"+1+1", "'+1+1"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\t=1", "' =1"},
      {"\r=1", "'=1"},
      {"1+1", "1+1"},
  };
  for (const auto& [value, field] : cases) EXPECT_EQ(CsvField(value), field) << value;
}

// Python's csv module reads the export back: every field of every row, byte for byte.
TEST_F(CatalogueTest, TheCsvRoundTripsThroughPythonsCsvModule) {
  auto catalogue = Open();
  std::vector<CatalogueVideo> videos = {Video("a"), Video("b"), Video("c")};
  videos[0].title = "逗号,引号\"和换行";
  videos[1].title = "\"开头引号，猫咪😂视频 Jörg 영상";  // every character survives
  videos[2].title = "";
  videos[2].category = "a,\"b\"";
  for (auto& v : videos) ASSERT_TRUE(catalogue->recordVideo(v));
  const std::string csvPath = root_ + "/Köln-영상.csv";
  ASSERT_TRUE(ExportCatalogueCsv(*catalogue, Path(csvPath)));

  const std::string script = root_ + "/read.py";
  std::ofstream(script) << "import csv, sys\n"
                           "raw = open(sys.argv[1], 'rb').read()\n"
                           "assert raw.startswith(b'\\xef\\xbb\\xbf')\n"
                           "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                           "    for row in csv.reader(f):\n"
                           "        print(' '.join(field.encode().hex() or '-' for field in row))\n";
  const std::string decoded = root_ + "/decoded.txt";
  ASSERT_EQ(std::system(("python3 " + script + " " + csvPath + " > " + decoded).c_str()), 0);
  std::ifstream in(decoded);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream words(line);
    for (std::string hex; words >> hex;) {
      std::string bytes;
      for (std::size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
      fields.push_back(bytes);
    }
    rows.push_back(fields);
  }
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"docid", "title", "category", "published", "duration_s",
                                               "width", "height", "size_bytes", "url", "path", "taken_at"}));
  for (std::size_t i = 0; i < videos.size(); ++i) {
    const auto& v = videos[i];
    EXPECT_EQ(rows[i + 1], (std::vector<std::string>{v.docid, v.title, v.category, v.published,
                                                     std::to_string(v.durationS), std::to_string(v.width),
                                                     std::to_string(v.height), std::to_string(v.sizeBytes),
                                                     v.url, v.path, v.takenAt}));
  }
}

TEST_F(CatalogueTest, StatsSumPerCategoryDayAndReason) {
  auto catalogue = Open();
  ASSERT_TRUE(catalogue->recordVideo(Video("a", "娱乐", 100, "2026-12-08T23:59:59+08:00")));
  ASSERT_TRUE(catalogue->recordVideo(Video("b", "娱乐", 50, "2026-12-09T00:00:00+08:00")));
  ASSERT_TRUE(catalogue->recordVideo(Video("c",
                                           "体育\x1b[2J\xc2\x9b"
                                           "31m",
                                           7, "2026-12-09T01:00:00+08:00")));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(catalogue->recordFailure("x", {FailureKind::Reset}));
  ASSERT_TRUE(catalogue->recordFailure("y", {FailureKind::Reset}));
  CatalogueStats stats;
  ASSERT_TRUE(ReadCatalogueStats(*catalogue, &stats));
  EXPECT_EQ(FormatCatalogueStats(stats),
            "videos=3 bytes=157\n"
            "category=娱乐 videos=2 bytes=150\n"
            "category=体育[2J31m videos=1 bytes=7\n"
            "day=2026-12-08 videos=1 bytes=100\n"
            "day=2026-12-09 videos=2 bytes=57\n"
            "failure=连接被重置 videos=2 attempts=4 given_up=1\n");
}

}  // namespace
}  // namespace pelvaro
