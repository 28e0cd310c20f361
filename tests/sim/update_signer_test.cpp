// The simulator's update signatures are minisign's own format: the real tool accepts them.

#include "sim/update_signer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace pelvaro::sim {
namespace {

TEST(UpdateSigner, MinisignVerifiesWhatTheSimulatorSigns) {
  if (std::system("command -v minisign >/dev/null") != 0) GTEST_SKIP() << "minisign is not installed";
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("update_signer_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "update.bin").string();
  const std::string bytes(100000, 'u');
  UpdateSigner signer;
  ASSERT_TRUE(signer.valid());
  std::ofstream(file, std::ios::binary) << bytes;
  std::ofstream(dir / "key.pub") << signer.PublicKeyFile();
  std::ofstream(file + ".minisig") << signer.Sign(bytes, "pelvaro-collector 4.7");
  const std::string verify = "minisign -V -q -p " + (dir / "key.pub").string() + " -m " + file;
  EXPECT_EQ(std::system((verify + " >/dev/null 2>&1").c_str()), 0);
  // And it refuses the same signature for other bytes.
  std::ofstream(file, std::ios::binary) << bytes << "x";
  EXPECT_NE(std::system((verify + " >/dev/null 2>&1").c_str()), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pelvaro::sim
