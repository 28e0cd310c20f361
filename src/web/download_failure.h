#pragma once
// Why a download failed, as a small value the downloader hands to its caller, and everything
// the program knows about each kind in one table (download_failure.cpp): the words it shows,
// whether asking again may help, and whether the fault lies with the machine or the network
// rather than with the video.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace pelvaro {

enum class FailureKind {
  None,
  HttpStatus,      // detail: the status
  NoData,          // detail: the seconds without a byte
  TooSlow,         // under the lowest speed for the whole budget; detail: the seconds
  ConnectTimeout,  // no connection within the connect limit
  Refused,
  Reset,  // the connection broke, also after a short body
  HostNotFound,
  TlsUntrusted,  // the server's certificate is not trusted
  TlsFailed,     // any other TLS failure
  TooManyRedirects,
  BadAddress,         // a URL that cannot be used (malformed, or a scheme not spoken)
  BadAnswer,          // an answer that is not HTTP
  DiskFull,           // detail: the megabytes the file needs
  DiskError,          // detail: the errno value
  FolderGone,         // the folder of the file was removed
  FileExists,         // the destination file is already there
  RangeIgnored,       // a whole file came back for one block of it
  FileChanged,        // another version of the file than the probe saw
  LengthMismatch,     // a length or range that does not fit the file
  NoLength,           // the server gave no length for the file
  EmptyFile,          // the server's file has no bytes
  Compressed,         // the server sent the file encoded (gzip, deflate, ...)
  HistoryUnwritable,  // the file is complete but its marker cannot be written; detail: errno
  ProtocolRefused,    // a scheme other than http and https, or a redirect from https to http
  SizeOutsideLimits,  // the probed size is outside the user's limits; detail: the size in MB
  LowSpace,           // the file would take the free space below the user's floor
  FolderIsLink,       // a folder on the file's way is a symbolic link
  Network,            // any other transport failure
};

struct DownloadFailure {
  DownloadFailure(FailureKind kind = FailureKind::None, long detail = 0, std::string host = {})
      : kind(kind), detail(detail), host(std::move(host)) {}

  FailureKind kind;
  long detail;
  std::string host;  // the host a certificate or TLS failure happened with, when known

  explicit operator bool() const { return kind != FailureKind::None; }
  bool operator==(const DownloadFailure&) const = default;
};

// Whether asking again may help: a broken, refused or silent connection, a 5xx, 408 or 429.
bool Retryable(const DownloadFailure& failure);

// Whether the fault lies with the machine or its network (no host, refused, connect time-out,
// certificate, TLS, disk, folder) rather than with the video: such a failure never counts
// toward the video's attempts.
bool IsEnvironmentFailure(const DownloadFailure& failure);

// The kind's name where a failure is stored ("reset", "http_status"; empty for None), and the
// kind of a stored name (nullopt for a name this program does not know).
std::string_view FailureKindName(FailureKind kind);
std::optional<FailureKind> FailureKindNamed(std::string_view name);
// Every kind but None, in the order of the enumeration.
std::vector<FailureKind> AllFailureKinds();

// The reason as the program shows it (GBK), for example "HTTP 404", "连接被重置" or
// "证书不受信任：host".
Text FailureText(const DownloadFailure& failure);

// The failure with the host it happened with, for the kinds whose reason names it (TLS).
DownloadFailure NameFailedHost(DownloadFailure failure, const std::string& host);

// The failure of a transfer that ended with libcurl's `code` (an int to keep curl out of
// this header) after `status` was seen; `silent` when our own no-data limit aborted it.
DownloadFailure TransferFailure(int code, long status, bool silent, std::chrono::milliseconds noDataLimit);

// What an errno value of a file operation means, in words (GBK).
Text FileErrorText(int error);

// The failure of a file operation that ended with errno `error`, for a file that still needs
// `bytesNeeded` bytes of disk space (a full disk says how many megabytes).
DownloadFailure FileFailure(int error, std::int64_t bytesNeeded);

}  // namespace pelvaro
