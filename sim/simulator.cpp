#include "sim/simulator.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "sim/raw_server.h"
#include "sim/video_content.h"

namespace pelvaro::sim {
namespace {

GraphOptions GraphOptionsOf(const SimOptions& o) {
  GraphOptions g;
  g.seed = o.seed;
  g.articles = o.articles;
  g.size_scale = o.size_scale;
  g.hostile = o.hostile;
  g.titles = o.titles;
  g.now = std::time(nullptr);
  return g;
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

// The update file's signature file as --update-signature asks for it; empty for "none".
std::string UpdateSignatureFile(const SimOptions& o, const UpdateSigner& signer) {
  const std::string bytes =
      VideoContent::Bytes(VideoContent::KeyForName("update:" + o.offered_version), 0, o.update_size);
  const std::string comment = "pelvaro-collector " + o.offered_version;
  const std::string& mode = o.update_signature;
  if (mode == "none") return {};
  if (mode == "garbage") return "untrusted comment: nothing\nthis is no signature\n";
  if (mode == "wrong-comment") return signer.Sign(bytes, "pelvaro-collector 99.0");
  if (mode == "other-key") return UpdateSigner().Sign(bytes, comment);
  if (mode == "tampered") {
    std::string other = bytes;
    if (!other.empty()) other[other.size() / 2] ^= 1;  // one byte of the file that was signed
    return signer.Sign(other, comment);
  }
  return signer.Sign(bytes, comment);
}

}  // namespace

Simulator::Simulator(SimOptions options)
    : options_(std::move(options)), graph_(GraphOptionsOf(options_)), context_(options_, graph_, journal_) {}

Simulator::~Simulator() {
  Stop();
  SSL_CTX_free(tls_);
}

std::string Simulator::PortsJson() const {
  std::string json = "{";
  for (const auto& name : ServiceNames()) {
    if (json.size() > 1) json += ",";
    json += "\"" + name + "\":" + std::to_string(context_.ports.at(name));
  }
  return json + "}\n";
}

std::string Simulator::EnvFileText(const std::string& certificateFile, const std::string& updateKeyFile) const {
  static const std::map<std::string, std::string> kVariables = {
      {"platform", "PELVARO_PLATFORM_WEB_HOST"},   {"vendor_api", "PELVARO_VENDOR_API_HOST"},
      {"vendor_list", "PELVARO_VENDOR_LIST_HOST"}, {"update1", "PELVARO_UPDATE_HOST1"},
      {"update2", "PELVARO_UPDATE_HOST2"},         {"update3", "PELVARO_UPDATE_HOST3"},
      {"quote", "PELVARO_QUOTE_SERVICE_HOST"},     {"speech", "PELVARO_SPEECH_SERVICE_HOST"}};
  const auto quoted = [](const std::string& value) {
    std::string out = "'";
    for (char c : value) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  };
  std::string text = "# pelvaro-sim: source this file to point pelvaro-cli and pelvaro-collector at it.\n";
  for (const auto& name : ServiceNames()) {
    text += "export " + kVariables.at(name) + "=" +
            quoted("127.0.0.1:" + std::to_string(context_.ports.at(name))) + "\n";
  }
  return text + "export PELVARO_CA_FILE=" + quoted(certificateFile) + "\n" +
         "export PELVARO_UPDATE_KEY_FILE=" + quoted(updateKeyFile) + "\n";
}

bool Simulator::Start(std::string& error) {
  // Peers that hang up mid-answer must not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  if (!options_.journal.empty() && !journal_.Open(options_.journal)) {
    error = "cannot open the journal " + options_.journal;
    return false;
  }
  // The certificate and the update's signing key go where they are named, else beside the
  // environment file, else nowhere.
  const auto fileForClients = [this](const std::string& named, const char* suffix) {
    return !named.empty() || options_.env_file.empty() ? named : options_.env_file + suffix;
  };
  const auto write = [&error](const std::string& file, const std::string& bytes) {
    if (file.empty() || WriteFileAtomically(file, bytes)) return true;
    error = "cannot write " + file;
    return false;
  };
  const std::string certificateFile = fileForClients(options_.cert_out, ".pem");
  const std::string updateKeyFile = fileForClients(options_.update_key_out, ".pub");
  if (!certificate_.valid()) {
    error = "cannot make the certificate";
    return false;
  }
  if (!write(certificateFile, certificate_.Pem())) return false;
  if (!signer_.valid()) {
    error = "cannot make the update-signing key";
    return false;
  }
  if (!write(updateKeyFile, signer_.PublicKeyFile())) return false;
  context_.update_signature = UpdateSignatureFile(options_, signer_);
  tls_ = SSL_CTX_new(TLS_server_method());
  if (tls_ == nullptr || SSL_CTX_use_certificate(tls_, certificate_.cert()) != 1 ||
      SSL_CTX_use_PrivateKey(tls_, certificate_.key()) != 1) {
    error = "cannot set up TLS";
    return false;
  }
  SSL_CTX_set_min_proto_version(tls_, TLS1_2_VERSION);
  // AES-128-GCM first: the cheapest suite on machines with AES instructions.
  SSL_CTX_set_ciphersuites(tls_,
                           "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256");
  SSL_CTX_set_options(tls_, SSL_OP_NO_COMPRESSION | SSL_OP_CIPHER_SERVER_PREFERENCE);

  const auto& names = ServiceNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    bool https = name == "platform" || name == "quote";
    ConnectionSettings settings;
    settings.threads = name == "platform" ? options_.threads : 16;
    bool files = name == "platform" || name.rfind("update", 0) == 0;
    if (files) settings.rate_limit = options_.faults.rate_limit;
    auto server = std::make_unique<RawServer>(name, https ? tls_ : nullptr, settings);
    int wanted = options_.ephemeral ? 0 : DefaultPorts()[i];
    if (auto it = options_.ports.find(name); it != options_.ports.end()) wanted = it->second;
    int port = server->Bind(wanted);
    if (port <= 0) {
      error = "cannot listen on 127.0.0.1:" + std::to_string(wanted) + " for " + name;
      return false;
    }
    context_.ports[name] = port;
    servers_.push_back(std::move(server));
  }
  for (auto& server : servers_) {
    InstallCommon(*server, context_);
    const std::string& name = server->service();
    if (name == "platform")
      InstallPlatform(*server, context_);
    else if (name == "vendor_api")
      InstallVendorApi(*server, context_);
    else if (name == "vendor_list")
      InstallVendorList(*server, context_);
    else if (name == "quote")
      InstallQuote(*server, context_);
    else if (name == "speech")
      InstallSpeech(*server, context_);
    else
      InstallUpdateHost(*server, context_, name.back() - '0');
  }
  for (auto& server : servers_) {
    threads_.emplace_back([s = server.get()] { s->listen_after_bind(); });
  }
  for (auto& server : servers_) {
    while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!options_.ports_file.empty() && !WriteFileAtomically(options_.ports_file, PortsJson())) {
    error = "cannot write " + options_.ports_file;
    return false;
  }
  if (!options_.env_file.empty()) {
    // An absolute name, so that the file works from any folder it is sourced in.
    const auto absolute = [](const std::string& file) {
      std::error_code failed;
      const std::string whole = std::filesystem::absolute(file, failed).string();
      return failed ? file : whole;
    };
    if (!write(options_.env_file, EnvFileText(absolute(certificateFile), absolute(updateKeyFile)))) return false;
  }
  journal_.Write({{"service", "sim"},
                  {"event", "started"},
                  {"ports", PortsJson().substr(0, PortsJson().size() - 1), true}});
  return true;
}

void Simulator::Stop() {
  for (auto& server : servers_) server->Shutdown();
  for (auto& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
  servers_.clear();
}

}  // namespace pelvaro::sim
