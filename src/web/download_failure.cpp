#include "web/download_failure.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {
namespace {

enum class Retry { Never, Always, ByStatus };

struct KindInfo {
  FailureKind kind;
  std::string_view name;   // stored in the catalogue: never changes once written
  std::string_view words;  // UTF-8; a kind with a detail adds it in FailureText
  Retry retry;
  bool environment;
};

// Every kind of failure, what the program says of it, whether it is asked again and whether it
// is the machine's or the network's rather than the video's.
constexpr KindInfo kKinds[] = {
    {FailureKind::None, "", "", Retry::Never, false},
    {FailureKind::HttpStatus, "http_status", "HTTP ", Retry::ByStatus, false},
    {FailureKind::NoData, "no_data", "秒没有收到数据", Retry::Always, false},
    {FailureKind::TooSlow, "too_slow", "速度过低", Retry::Never, false},
    {FailureKind::ConnectTimeout, "connect_timeout", "连接超时", Retry::Always, true},
    {FailureKind::Refused, "refused", "连接被拒绝", Retry::Always, true},
    {FailureKind::Reset, "reset", "连接被重置", Retry::Always, false},
    {FailureKind::HostNotFound, "host_not_found", "找不到服务器", Retry::Never, true},
    {FailureKind::TlsUntrusted, "tls_untrusted", "证书不受信任", Retry::Never, true},
    {FailureKind::TlsFailed, "tls_failed", "TLS连接失败", Retry::Never, true},
    {FailureKind::TooManyRedirects, "too_many_redirects", "重定向过多", Retry::Never, false},
    {FailureKind::BadAddress, "bad_address", "下载地址无效", Retry::Never, false},
    {FailureKind::BadAnswer, "bad_answer", "服务器的回答无效", Retry::Never, false},
    {FailureKind::DiskFull, "disk_full", "磁盘空间不足", Retry::Never, true},
    {FailureKind::DiskError, "disk_error", "写入文件失败", Retry::Never, true},
    {FailureKind::FolderGone, "folder_gone", "文件夹已被删除", Retry::Never, true},
    {FailureKind::FileExists, "file_exists", "文件已存在", Retry::Never, false},
    {FailureKind::RangeIgnored, "range_ignored", "服务器不支持分段下载", Retry::Never, false},
    {FailureKind::FileChanged, "file_changed", "服务器上的文件已改变", Retry::Never, false},
    {FailureKind::LengthMismatch, "length_mismatch", "长度与服务器不符", Retry::Never, false},
    {FailureKind::NoLength, "no_length", "服务器没有给出文件长度", Retry::Never, false},
    {FailureKind::EmptyFile, "empty_file", "服务器上的文件是空的", Retry::Never, false},
    {FailureKind::Compressed, "compressed", "服务器压缩了文件", Retry::Never, false},
    {FailureKind::HistoryUnwritable, "history_unwritable", "下载记录无法写入", Retry::Never, true},
    {FailureKind::ProtocolRefused, "protocol_refused", "不允许的协议或重定向", Retry::Never, false},
    {FailureKind::SizeOutsideLimits, "size_outside_limits", "文件大小超出限制：", Retry::Never, false},
    {FailureKind::LowSpace, "low_space", "磁盘剩余空间将低于下限", Retry::Never, true},
    {FailureKind::FolderIsLink, "folder_is_link", "文件夹是符号链接", Retry::Never, true},
    {FailureKind::Network, "network", "网络错误", Retry::Never, false},
};

const KindInfo& Info(FailureKind kind) {
  for (const KindInfo& info : kKinds) {
    if (info.kind == kind) return info;
  }
  return kKinds[0];
}

// What an errno value means to the user (UTF-8); empty for the ones said otherwise.
std::string_view ErrnoWords(long error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return "没有写入权限";
    case EROFS:
      return "文件夹是只读的";
    case ENOSPC:
      return "磁盘已满";
    case EDQUOT:
      return "超出磁盘配额";
    case EIO:
      return "磁盘读写错误";
    case EMFILE:
    case ENFILE:
      return "打开的文件过多";
    case EFBIG:
      return "文件过大";
    case ENAMETOOLONG:
      return "文件名过长";
    case ENOENT:
      return "文件夹已被删除";
    case ENOTDIR:
      return "路径不是文件夹";
    case ELOOP:
      return "路径是链接";
    default:
      return "";
  }
}

}  // namespace

bool Retryable(const DownloadFailure& failure) {
  switch (Info(failure.kind).retry) {
    case Retry::Always:
      return true;
    case Retry::ByStatus:
      return failure.detail >= 500 || failure.detail == 408 || failure.detail == 429;
    case Retry::Never:
      break;
  }
  return false;
}

bool IsEnvironmentFailure(const DownloadFailure& failure) { return Info(failure.kind).environment; }

std::string_view FailureKindName(FailureKind kind) { return Info(kind).name; }

std::optional<FailureKind> FailureKindNamed(std::string_view name) {
  for (const KindInfo& info : kKinds) {
    if (!name.empty() && info.name == name) return info.kind;
  }
  return std::nullopt;
}

std::vector<FailureKind> AllFailureKinds() {
  std::vector<FailureKind> kinds;
  for (const KindInfo& info : kKinds) {
    if (info.kind != FailureKind::None) kinds.push_back(info.kind);
  }
  return kinds;
}

Text FailureText(const DownloadFailure& failure) {
  const Text words = Gbk(Info(failure.kind).words);
  const std::string detail = std::to_string(failure.detail);
  switch (failure.kind) {
    case FailureKind::HttpStatus:
      return words + detail;
    case FailureKind::NoData:
      return detail + words;
    case FailureKind::SizeOutsideLimits:
      return words + detail + "MB";
    case FailureKind::TlsUntrusted:
    case FailureKind::TlsFailed:
      return failure.host.empty() ? words : words + Gbk("：") + failure.host;
    case FailureKind::DiskFull:
      return failure.detail > 0 ? words + Gbk("（需要 ") + detail + Gbk(" MB）") : words;
    case FailureKind::DiskError:
    case FailureKind::HistoryUnwritable: {
      const std::string_view why = ErrnoWords(failure.detail);
      if (why.empty()) return words;
      return failure.kind == FailureKind::DiskError ? words + Gbk("：") + Gbk(why)
                                                    : words + Gbk("（") + Gbk(why) + Gbk("）");
    }
    default:
      return words;
  }
}

DownloadFailure NameFailedHost(DownloadFailure failure, const std::string& host) {
  if (failure.kind == FailureKind::TlsUntrusted || failure.kind == FailureKind::TlsFailed)
    failure.host = host;
  return failure;
}

DownloadFailure TransferFailure(int code, long status, bool silent, std::chrono::milliseconds noDataLimit) {
  if (silent) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(noDataLimit).count();
    return {FailureKind::NoData, static_cast<long>(seconds)};
  }
  switch (static_cast<CURLcode>(code)) {
    case CURLE_OK:
      break;
    case CURLE_COULDNT_CONNECT:
      return {FailureKind::Refused, 0};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return {FailureKind::HostNotFound, 0};
    case CURLE_OPERATION_TIMEDOUT:
      return {status == 0 ? FailureKind::ConnectTimeout : FailureKind::NoData, 0};
    case CURLE_PEER_FAILED_VERIFICATION:
#if LIBCURL_VERSION_NUM < 0x073e00
    case CURLE_SSL_CACERT:
#endif
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
      return {FailureKind::TlsUntrusted, 0};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
      return {FailureKind::TlsFailed, 0};
    case CURLE_UNSUPPORTED_PROTOCOL:
      return {FailureKind::ProtocolRefused, 0};
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return {FailureKind::Reset, 0};
    case CURLE_TOO_MANY_REDIRECTS:
      return {FailureKind::TooManyRedirects, 0};
    case CURLE_URL_MALFORMAT:
      return {FailureKind::BadAddress, 0};
    case CURLE_WEIRD_SERVER_REPLY:
      return {FailureKind::BadAnswer, 0};
    case CURLE_BAD_CONTENT_ENCODING:
      return {FailureKind::Compressed, 0};
    default:
      return {FailureKind::Network, code};
  }
  if (status >= 400) return {FailureKind::HttpStatus, status};
  return {};
}

Text FileErrorText(int error) {
  const std::string_view words = ErrnoWords(error);
  return Gbk(words.empty() ? std::string_view("无法写入") : words);
}

DownloadFailure FileFailure(int error, std::int64_t bytesNeeded) {
  switch (error) {
    case ENOSPC:
    case EDQUOT: {
      constexpr std::int64_t kMb = 1024 * 1024;
      return {FailureKind::DiskFull,
              static_cast<long>((std::max<std::int64_t>(bytesNeeded, 0) + kMb - 1) / kMb)};
    }
    case ENOENT:
      return {FailureKind::FolderGone, 0};
    case EEXIST:
      return {FailureKind::FileExists, 0};
    default:
      return {FailureKind::DiskError, error};
  }
}

}  // namespace pelvaro
