#pragma once

namespace pelvaro {

// Initialises libcurl for the process once; every user of an easy handle calls it first.
void EnsureCurlInitialised();

// Transfers that check certificates (the downloader) also trust the certificate file named by
// PELVARO_CA_FILE, when set: the simulated platform's self-signed certificate, for example.
void TrustConfiguredCertificates(void* easy);

}  // namespace pelvaro
