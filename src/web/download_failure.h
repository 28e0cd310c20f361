#pragma once
// Why a download failed, as a small value the downloader hands to its caller and a short
// text for the log, the row and the summaries.

#include <chrono>

#include "platform/text.h"

namespace pelvaro {

enum class FailureKind {
  None,
  HttpStatus,      // detail: the status
  NoData,          // detail: the seconds without a byte
  ConnectTimeout,  // no connection within the connect limit
  Refused,
  Reset,      // the connection broke, also after a short body
  HostNotFound,
  TlsUntrusted,  // the server's certificate is not trusted
  TlsFailed,     // any other TLS failure
  DiskFull,
  DiskError,
  FileExists,     // the destination file is already there
  RangeIgnored,   // a whole file came back for one block of it
  FileChanged,    // another version of the file than the probe saw
  LengthMismatch, // no usable length, or the body does not fit what was asked
  Network,        // any other transport failure; detail: the transport's code
};

struct DownloadFailure {
  FailureKind kind = FailureKind::None;
  long detail = 0;

  explicit operator bool() const { return kind != FailureKind::None; }
  bool operator==(const DownloadFailure&) const = default;
};

// Whether asking again may help: a broken or silent connection, a 5xx, 408 or 429.
bool Retryable(const DownloadFailure& failure);

// The reason as the program shows it (GBK), for example "HTTP 404" or "连接被重置".
Text FailureText(const DownloadFailure& failure);

// The failure of a transfer that ended with libcurl's `code` (an int to keep curl out of
// this header) after `status` was seen; `silent` when our own no-data limit aborted it.
DownloadFailure TransferFailure(int code, long status, bool silent,
                                std::chrono::milliseconds noDataLimit);

}  // namespace pelvaro
