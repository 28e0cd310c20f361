#include "web/download_failure.h"

#include <curl/curl.h>

#include <string>

namespace pelvaro {

bool Retryable(const DownloadFailure& failure) {
  switch (failure.kind) {
    case FailureKind::NoData:
    case FailureKind::ConnectTimeout:
    case FailureKind::Reset:
      return true;
    case FailureKind::HttpStatus:
      return failure.detail >= 500 || failure.detail == 408 || failure.detail == 429;
    default:
      return false;
  }
}

Text FailureText(const DownloadFailure& failure) {
  switch (failure.kind) {
    case FailureKind::None:
      return Text();
    case FailureKind::HttpStatus:
      return "HTTP " + std::to_string(failure.detail);
    case FailureKind::NoData:
      return std::to_string(failure.detail) + Gbk("秒没有收到数据");
    case FailureKind::ConnectTimeout:
      return Gbk("连接超时");
    case FailureKind::Refused:
      return Gbk("连接被拒绝");
    case FailureKind::Reset:
      return Gbk("连接被重置");
    case FailureKind::HostNotFound:
      return Gbk("找不到服务器");
    case FailureKind::TlsUntrusted:
      return Gbk("证书不受信任") + (failure.host.empty() ? Text() : Gbk("：") + failure.host);
    case FailureKind::TlsFailed:
      return Gbk("TLS连接失败") + (failure.host.empty() ? Text() : Gbk("：") + failure.host);
    case FailureKind::DiskFull:
      return Gbk("磁盘已满");
    case FailureKind::DiskError:
      return Gbk("写入文件失败");
    case FailureKind::FileExists:
      return Gbk("文件已存在");
    case FailureKind::RangeIgnored:
      return Gbk("服务器忽略了Range");
    case FailureKind::FileChanged:
      return Gbk("服务器上的文件已改变");
    case FailureKind::LengthMismatch:
      return Gbk("长度不符");
    case FailureKind::ProtocolRefused:
      return Gbk("不允许的协议或重定向");
    case FailureKind::SizeOutsideLimits:
      return Gbk("文件大小超出限制：") + std::to_string(failure.detail) + "MB";
    case FailureKind::LowSpace:
      return Gbk("磁盘剩余空间将低于下限");
    case FailureKind::FolderIsLink:
      return Gbk("文件夹是符号链接");
    case FailureKind::Network:
      return Gbk("网络错误") + " " + std::to_string(failure.detail);
  }
  return Text();
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
    default:
      return {FailureKind::Network, code};
  }
  if (status >= 400) return {FailureKind::HttpStatus, status};
  return {};
}

}  // namespace pelvaro
