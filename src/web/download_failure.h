#pragma once
// Why a download failed, as a small value the downloader hands to its caller and a short
// text for the log, the row and the summaries.

#include <chrono>
#include <string>
#include <utility>

#include "platform/text.h"

namespace pelvaro {

enum class FailureKind {
  None,
  HttpStatus,      // detail: the status
  NoData,          // detail: the seconds without a byte
  ConnectTimeout,  // no connection within the connect limit
  Refused,
  Reset,  // the connection broke, also after a short body
  HostNotFound,
  TlsUntrusted,  // the server's certificate is not trusted
  TlsFailed,     // any other TLS failure
  DiskFull,
  DiskError,
  FileExists,         // the destination file is already there
  RangeIgnored,       // a whole file came back for one block of it
  FileChanged,        // another version of the file than the probe saw
  LengthMismatch,     // no usable length, or the body does not fit what was asked
  ProtocolRefused,    // a scheme other than http and https, or a redirect from https to http
  SizeOutsideLimits,  // the probed size is outside the user's limits; detail: the size in MB
  LowSpace,           // the file would take the free space below the user's floor
  FolderIsLink,       // a folder on the file's way is a symbolic link
  Network,            // any other transport failure; detail: the transport's code
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

// Whether asking again may help: a broken or silent connection, a 5xx, 408 or 429.
bool Retryable(const DownloadFailure& failure);

// The reason as the program shows it (GBK), for example "HTTP 404", "连接被重置" or
// "证书不受信任：host".
Text FailureText(const DownloadFailure& failure);

// The failure with the host it happened with, for the kinds whose reason names it (TLS).
DownloadFailure NameFailedHost(DownloadFailure failure, const std::string& host);

// The failure of a transfer that ended with libcurl's `code` (an int to keep curl out of
// this header) after `status` was seen; `silent` when our own no-data limit aborted it.
DownloadFailure TransferFailure(int code, long status, bool silent,
                                std::chrono::milliseconds noDataLimit);

}  // namespace pelvaro
