// The self-update's trust, checked against the real minisign tool: what `minisign -S` signs
// verifies, and nothing else does.

#include "shell/update_trust.h"

#include <cstdlib>

#include "shell_test_support.h"
#include "toolkit/encoding.h"
#include "toolkit/minisign.h"

namespace pelvaro {
namespace {

using testing::ShellTest;

class UpdateTrustTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    file_ = root_ + "/run/next.download";
    if (std::system("command -v minisign >/dev/null") != 0) GTEST_SKIP() << "minisign is not installed";
    Write(file_, std::string(30000, 'p') + "new version");
    for (const char* key : {"vendor", "stranger"}) {
      Run("minisign -G -W -p " + Path(key) + ".pub -s " + Path(key) + ".key");
    }
    setenv("PELVARO_UPDATE_KEY_FILE", (Path("vendor") + ".pub").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("PELVARO_UPDATE_KEY_FILE");
    ShellTest::TearDown();
  }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  static void Run(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1 </dev/null").c_str()), 0) << command;
  }
  // The signature file minisign writes for the file with this key and trusted comment.
  std::string Signed(const std::string& key, const std::string& comment, bool legacy = false) {
    std::filesystem::remove(file_ + ".minisig");
    Run("minisign -S " + std::string(legacy ? "-l " : "") + "-s " + Path(key) + ".key -t '" + comment +
        "' -m " + file_);
    return Read(file_ + ".minisig");
  }
  std::string Refusal(const std::string& signature, const std::string& version) {
    return GbkToUtf8(UpdateRefusal(pelvaro::Path(file_), signature, version));
  }

  std::string file_;
};

TEST_F(UpdateTrustTest, OnlyAFileSignedByATrustedKeyForANewerVersionIsKept) {
  const std::string good = Signed("vendor", "pelvaro-collector 4.7");
  const std::string legacy = Signed("vendor", "pelvaro-collector 4.7", true);
  const std::string stranger = Signed("stranger", "pelvaro-collector 4.7");
  const std::string old = Signed("vendor", "pelvaro-collector 4.5");
  const std::string lower = Signed("vendor", "pelvaro-collector 4.6");

  // The trusted comment edited after signing, and a signature that claims the vendor's key id.
  std::string edited = good;
  edited.replace(edited.find("pelvaro-collector 4.7"), 21, "pelvaro-collector 4.8");
  std::string claimed = stranger;
  {
    auto vendorKey = ParseMinisignPublicKey(Read(Path("vendor") + ".pub"));
    auto line = stranger.substr(stranger.find('\n') + 1, 100);
    auto bytes = DecodeBase64(line);
    ASSERT_TRUE(vendorKey && bytes);
    bytes->replace(2, 8, std::string(vendorKey->id.begin(), vendorKey->id.end()));
    claimed.replace(claimed.find(line), line.size(), Base64Encode(*bytes));
  }

  struct Case {
    const char* name;
    std::string signature;
    std::string version;
    std::string refusal;  // empty: kept
  };
  const Case cases[] = {
      {"signed by the vendor", good, "4.7", ""},
      {"legacy signature", legacy, "4.7", ""},
      {"another key", stranger, "4.7", "签名的密钥不受信任"},
      {"another key claiming the vendor's id", claimed, "4.7", "签名与文件不符"},
      {"trusted comment edited", edited, "4.8", "签名的可信注释被改动"},
      {"an old release offered as new", old, "4.7", "签名的版本不符：pelvaro-collector 4.5"},
      {"an older version", old, "4.5", "版本不比当前版本新：4.5"},
      {"the running version", lower, "4.6", "版本不比当前版本新：4.6"},
      {"no signature", "", "4.7", "没有签名"},
      {"not a signature", "<html>404</html>", "4.7", "签名格式不对"},
  };
  for (const Case& c : cases) EXPECT_EQ(Refusal(c.signature, c.version), c.refusal) << c.name;

  // One changed byte of the file.
  std::string content = Read(file_);
  content[1000] ^= 1;
  Write(file_, content);
  EXPECT_EQ(Refusal(good, "4.7"), "签名与文件不符");
  EXPECT_EQ(Refusal(legacy, "4.7"), "签名与文件不符");
}

TEST_F(UpdateTrustTest, TheVendorsKeyIsBuiltInAndTheKeyFileOnlyAddsTrust) {
  unsetenv("PELVARO_UPDATE_KEY_FILE");
  ASSERT_EQ(TrustedUpdateKeys().size(), 1u);  // the vendor's, from the repository
  // A file signed by a key nobody trusts is refused; naming its key file adds it, the
  // vendor's key stays.
  const std::string stranger = Signed("stranger", "pelvaro-collector 4.7");
  EXPECT_EQ(Refusal(stranger, "4.7"), "签名的密钥不受信任");
  setenv("PELVARO_UPDATE_KEY_FILE", (Path("stranger") + ".pub").c_str(), 1);
  EXPECT_EQ(TrustedUpdateKeys().size(), 2u);
  EXPECT_EQ(Refusal(stranger, "4.7"), "");
  setenv("PELVARO_UPDATE_KEY_FILE", (root_ + "/missing.pub").c_str(), 1);
  EXPECT_EQ(TrustedUpdateKeys().size(), 1u);
}

// Known answers: a key and a signature that `minisign -G -W` and `minisign -S -t 'pelvaro 4.7'`
// made once for the file "pelvaro update 4.7\n", so the check holds without the tool at hand.
TEST_F(ShellTest, MinisignsOwnSignatureOfAFixedFileChecksOut) {
  const auto key = ParseMinisignPublicKey(
      "untrusted comment: minisign public key 5AD132C81FA6C084\n"
      "RWSEwKYfyDLRWr6fupZaWt1f8exIowmAJp/xKpqeT30mBFm9qIHhsDkY\n");
  const std::string signature =
      "untrusted comment: signature from minisign secret key\n"
      "RUSEwKYfyDLRWqjr7Alo1EiqouFL8oZYeVy2mMeu9gQpnkqYjsdh0NPZSetUspCBHVQq4IadIyFE0oGN2LPv9jHva3qdjLp/QA4=\n"
      "trusted comment: pelvaro 4.7\n"
      "v4K1io8IK8+t756NJz9ZnjcWhy2qBz2cbNMsGm8CRLwlST25eJgNL1S/2AVMG8+Wfl/UXLorGPNi/OR8hcMSDQ==\n";
  ASSERT_TRUE(key.has_value());
  const std::string file = root_ + "/update";
  struct Case {
    const char* content;
    const char* comment;
    MinisignCheck check;
  };
  for (const Case& c : {Case{"pelvaro update 4.7\n", "pelvaro 4.7", MinisignCheck::Valid},
                        Case{"pelvaro update 4.8\n", "pelvaro 4.7", MinisignCheck::BadSignature},
                        Case{"pelvaro update 4.7\n", "pelvaro 4.8", MinisignCheck::BadGlobalSignature}}) {
    Write(file, c.content);
    std::string edited = signature;
    edited.replace(edited.find("pelvaro 4.7"), 11, c.comment);
    const auto parsed = ParseMinisignSignature(edited);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->trustedComment, c.comment);
    EXPECT_EQ(VerifyMinisignFile(file, *parsed, {*key}), c.check) << c.content << c.comment;
  }
}

TEST(UpdateVersion, NewerIsADottedNumberAboveTheRunningOne) {
  struct Case {
    const char* offered;
    const char* current;
    bool newer;
  };
  const Case cases[] = {
      {"4.7", "4.6", true},
      {"4.10", "4.9", true},
      {"4.6.1", "4.6", true},
      {"5", "4.6", true},
      {"4.60", "4.6", true},
      {"4.6", "4.6", false},
      {"4.6.0", "4.6", false},
      {"04.06", "4.6", false},
      {"4.5", "4.6", false},
      {"4.5.9", "4.6", false},
      {"", "4.6", false},
      {"4.7 ", "4.6", false},
      {" 4.7", "4.6", false},
      {"v4.7", "4.6", false},
      {"4..7", "4.6", false},
      {"4.7.", "4.6", false},
      {"99999999999999999999.1", "4.6", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsNewerVersion(c.offered, c.current), c.newer) << c.offered;
}

}  // namespace
}  // namespace pelvaro
