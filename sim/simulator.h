#pragma once
// All services of the simulated platform in one object: Start binds every port, starts the
// servers and writes the ports file; Stop ends them and joins their threads.

#include <openssl/ssl.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/certificate.h"
#include "sim/graph.h"
#include "sim/journal.h"
#include "sim/sim_context.h"
#include "sim/sim_options.h"
#include "sim/update_signer.h"

namespace pelvaro::sim {

class RawServer;

class Simulator {
 public:
  explicit Simulator(SimOptions options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Returns false with a message when a port cannot be bound or a file cannot be written.
  bool Start(std::string& error);
  void Stop();

  // The bound port of a service ("platform", "vendor_api", ...).
  int Port(const std::string& service) const { return context_.ports.at(service); }
  const Graph& graph() const { return graph_; }
  const Certificate& certificate() const { return certificate_; }
  VendorState& vendor() { return context_.vendor; }
  std::string PortsJson() const;
  // "export NAME='VALUE'" lines for every host variable of the programs, and PELVARO_CA_FILE
  // naming the certificate file.
  std::string EnvFileText(const std::string& certificateFile, const std::string& updateKeyFile) const;

 private:
  SimOptions options_;
  Graph graph_;
  Journal journal_;
  Certificate certificate_;
  UpdateSigner signer_;
  SimContext context_;
  SSL_CTX* tls_ = nullptr;
  std::vector<std::unique_ptr<RawServer>> servers_;
  std::vector<std::thread> threads_;
};

}  // namespace pelvaro::sim
