#include "collector/video_filter.h"

#include <gtest/gtest.h>

#include <ctime>

#include "collector/video_record.h"

namespace pelvaro {
namespace {

std::time_t Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

TEST(ReadLocalDateTime, NumericFormsAndUnreadableTexts) {
  struct Case {
    const char* text;
    std::optional<std::time_t> expected;
  } cases[] = {
      {"2024-03-05 07:08:09", Local(2024, 3, 5, 7, 8, 9)},
      {"2024/3/5 7:8:9", Local(2024, 3, 5, 7, 8, 9)},
      {"2024.03.05 07:08", Local(2024, 3, 5, 7, 8)},
      {"2024-03-05", Local(2024, 3, 5)},
      {" 2024-03-05  07:08:09 ", Local(2024, 3, 5, 7, 8, 9)},
      {"2024 03 05 07 08 09", Local(2024, 3, 5, 7, 8, 9)},
      {"2024-02-29 00:00:00", Local(2024, 2, 29)},
      {"2023-02-29 00:00:00", std::nullopt},
      {"2024-13-01", std::nullopt},
      {"2024-01-01 24:00:00", std::nullopt},
      {"2024-01", std::nullopt},
      {"", std::nullopt},
      {"yesterday", std::nullopt},
      {"2024-01-01T10:00:00", std::nullopt},
      {"2024--01-01", std::nullopt},
      {"2024-01-01 10:00:00 extra", std::nullopt},
      {"1700000000", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadLocalDateTime(c.text), c.expected) << c.text;
  }
}

TEST(AgeInHours, WholeHoursTruncatedAndUnreadableIsAncient) {
  const std::time_t now = Local(2024, 6, 1, 12, 0, 0);
  EXPECT_EQ(AgeInHours("2024-05-20 00:00:00", now), 300);  // exactly 300 hours
  EXPECT_EQ(AgeInHours("2024-05-19 23:59:59", now), 300);  // 300 h and 1 s
  EXPECT_EQ(AgeInHours("2024-05-19 23:00:00", now), 301);
  EXPECT_EQ(AgeInHours("2024-06-01 12:30:00", now), 0);  // half an hour ahead
  EXPECT_LT(AgeInHours("2024-06-01 14:00:00", now), 0);
  EXPECT_GT(AgeInHours("", now), 1000 * 365 * 24);  // year 100
  EXPECT_GT(AgeInHours("not a date", now), 1000 * 365 * 24);
}

VideoRecord Passing(std::time_t now) {
  VideoRecord r;
  r.docid = "V_abc";
  char date[32];
  std::tm tm{};
  const std::time_t hourAgo = now - 3600;
  localtime_r(&hourAgo, &tm);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
  r.date = date;
  r.duration = "60";
  r.category = Gbk("娱乐");
  r.sizeMb = SizeMbText(10 * 1048576);
  return r;
}

TEST(FilterVideo, RulesInOrderWithInclusiveBounds) {
  const std::time_t now = std::time(nullptr);
  const FilterLimits limits{300, 6, 600, 3, 1000};
  const Text all = Gbk("所有类目");
  const Text fun = Gbk("娱乐");
  struct Case {
    const char* name;
    void (*change)(VideoRecord&);
    Text category;
    std::optional<RejectReason> expected;
  } cases[] = {
      {"passes", [](VideoRecord&) {}, all, std::nullopt},
      {"own category", [](VideoRecord&) {}, fun, std::nullopt},
      {"other category", [](VideoRecord& r) { r.category = Gbk("体育"); }, fun, RejectReason::Category},
      {"no category", [](VideoRecord& r) { r.category.clear(); }, fun, RejectReason::Category},
      {"empty both", [](VideoRecord& r) { r.category.clear(); }, Text(), std::nullopt},
      {"empty date", [](VideoRecord& r) { r.date.clear(); }, all, RejectReason::Date},
      {"duration 6", [](VideoRecord& r) { r.duration = "6"; }, all, std::nullopt},
      {"duration 600", [](VideoRecord& r) { r.duration = "600"; }, all, std::nullopt},
      {"duration 5", [](VideoRecord& r) { r.duration = "5"; }, all, RejectReason::Duration},
      {"duration 601", [](VideoRecord& r) { r.duration = "601"; }, all, RejectReason::Duration},
      {"duration empty", [](VideoRecord& r) { r.duration.clear(); }, all, RejectReason::Duration},
      {"3 MB exactly", [](VideoRecord& r) { r.sizeMb = SizeMbText(3145728); }, all, std::nullopt},
      {"a byte under 3 MB", [](VideoRecord& r) { r.sizeMb = SizeMbText(3145727); }, all, RejectReason::Size},
      {"1000 MB exactly", [](VideoRecord& r) { r.sizeMb = SizeMbText(1000LL * 1048576); }, all, std::nullopt},
      {"over 1000 MB", [](VideoRecord& r) { r.sizeMb = SizeMbText(1000LL * 1048576 + 1024); }, all,
       RejectReason::Size},
      {"category before date", [](VideoRecord& r) { r.category = "x", r.date.clear(); }, fun,
       RejectReason::Category},
      {"date before duration", [](VideoRecord& r) { r.date.clear(), r.duration = "1"; }, all,
       RejectReason::Date},
      {"duration before size", [](VideoRecord& r) { r.duration = "1", r.sizeMb = "0"; }, all,
       RejectReason::Duration},
  };
  for (const auto& c : cases) {
    VideoRecord record = Passing(now);
    c.change(record);
    EXPECT_EQ(FilterVideo(record, c.category, limits, now), c.expected) << c.name;
  }
}

TEST(FilterVideo, ZeroLimitsFromEmptyBoxesRejectAlmostEverything) {
  const std::time_t now = std::time(nullptr);
  VideoRecord record = Passing(now);
  EXPECT_EQ(FilterVideo(record, Gbk("所有类目"), FilterLimits{}, now), RejectReason::Date);
  record.sizeMb = "0";
  EXPECT_EQ(FilterVideo(record, Gbk("所有类目"), FilterLimits{2, 0, 60, 0, 0}, now), std::nullopt);
}

TEST(SizeMbText, GeneralFormWithThirteenDigits) {
  EXPECT_EQ(SizeMbText(3145728), "3");
  EXPECT_EQ(SizeMbText(0), "0");
  EXPECT_EQ(SizeMbText(1572864), "1.5");
  EXPECT_EQ(SizeMbText(1000000), "0.9536743164062");
  EXPECT_EQ(SizeMbText(5LL * 1024 * 1048576), "5120");  // 64-bit sizes
}

}  // namespace
}  // namespace pelvaro
