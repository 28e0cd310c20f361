#include "shell/bug_report.h"

#include <sys/utsname.h>

#include <string>

#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/hosts.h"
#include "shell/app_identity.h"
#include "toolkit/encoding.h"
#include "web/web_request.h"

namespace pelvaro {

FatalReportFacts GatherFatalReportFacts() {
  FatalReportFacts facts;
  utsname names{};
  if (uname(&names) == 0) facts.host = ReportHostName(names.nodename);
  facts.exe = ExecutableName();
  facts.folder = PathText(RunDir());
  facts.os = OperatingSystemName();
  return facts;
}

Text ReportHostName(std::string_view systemHostName) {
  if (systemHostName.size() > 15) return {};
  return Utf8ToGbk(systemHostName);
}

Text OperatingSystemNameFrom(std::string_view osRelease) {
  std::size_t start = 0;
  while (start < osRelease.size()) {
    auto end = osRelease.find('\n', start);
    std::string_view line =
        osRelease.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (line.starts_with("PRETTY_NAME=")) {
      std::string_view value = line.substr(12);
      if (!value.empty() && value.back() == '\r') value.remove_suffix(1);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      std::string unescaped;
      for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        unescaped += value[i];
      }
      if (!unescaped.empty()) return Utf8ToGbk(unescaped);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return "Linux";
}

Text OperatingSystemName() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    if (auto content = ReadWholeFile(Path(path))) return OperatingSystemNameFrom(*content);
  }
  return "Linux";
}

Text NoticeTitle(const FatalReportFacts& facts) {
  return RemoveBlanks(Gbk("电脑") + facts.host + Gbk("发现bug，软件-") + facts.exe + Gbk("版本号") +
                      AppVersion());
}

Text NoticeBody(const FatalReportFacts& facts, std::int32_t code, const Text& text) {
  return Gbk("所属软件：") + facts.exe + Gbk("\r\n    软件运行路径：") + facts.folder +
         Gbk("\r\n   操作系统：") + facts.os + Gbk("\r\n   软件错误代码：") + std::to_string(code) +
         Gbk("\r\n   错误信息：") + text + Gbk("     Tormel软件 错误信息和bug通知系统。\r\n");
}

Text FatalErrorMessage(std::int32_t code, const Text& text) {
  return Gbk("软件发生致命错误，已经上报开发人员加紧修复bug\r\n   软件错误代码：") + std::to_string(code) +
         Gbk("\r\n   错误信息：") + text;
}

Text FatalErrorTitle() { return Gbk("Tormel软件bug提示"); }

Text SendVendorNotice(const Text& addressee, const Text& title, const Text& body) {
  Text url = "http://" + HostWithPort(Host::VendorApi, 8899) + "/tongzhi" + "?mubiao=" + addressee +
             "&title=" + PercentEncode(title) + "&body=" + PercentEncode(body) + "&sa=1";
  WebRequestOptions options;
  options.method = 0;
  options.extraHeaders = SignLine();
  WebResult result;
  return WebRequest(url, options, result);
}

void ReportFatalError(std::int32_t code, const Text& text, const FatalMessageBox& show) {
  FatalReportFacts facts = GatherFatalReportFacts();
  Text title = NoticeTitle(facts);
  Text body = NoticeBody(facts, code, text);
  // The user sees the message first; the notice goes out once it was dismissed.
  if (show) show(FatalErrorMessage(code, text), FatalErrorTitle());
  SendVendorNotice(Text(kVendorNoticeAddressee), title, body);
}

}  // namespace pelvaro
