#include "sim/sim_options.h"

#include <gtest/gtest.h>

namespace pelvaro::sim {
namespace {

bool Parse(std::vector<std::string> args, SimOptions& options, std::string& error) {
  args.insert(args.begin(), "pelvaro-sim");
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  bool help = false, version = false;
  return ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error, help, version);
}

TEST(SimOptions, FlagsReachTheirSettings) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--seed",
                     "9",
                     "--articles=120",
                     "--size-scale",
                     "0.5",
                     "--hostile",
                     "--ephemeral",
                     "--port",
                     "quote=5000",
                     "--rate-limit",
                     "1000",
                     "--wrong-length",
                     "-5",
                     "--update-hosts",
                     "2,3",
                     "--manifest-encoding",
                     "gbk",
                     "--error-every",
                     "4",
                     "--quote",
                     "q",
                     "--update-key-out",
                     "k.pub",
                     "--update-signature",
                     "tampered",
                     "--answer-size-scale",
                     "0.01",
                     "--offered-version",
                     "4.7",
                     "--env-file",
                     "/x/sim.env"},
                    o, error))
      << error;
  EXPECT_EQ(o.seed, 9u);
  EXPECT_EQ(o.articles, 120u);
  EXPECT_DOUBLE_EQ(o.size_scale, 0.5);
  EXPECT_TRUE(o.hostile && o.ephemeral && o.manifest_gbk);
  EXPECT_EQ(o.ports.at("quote"), 5000);
  EXPECT_EQ(o.faults.rate_limit, 1000u);
  EXPECT_EQ(o.faults.length_delta, -5);
  EXPECT_EQ(o.faults.error_every, 4u);
  EXPECT_EQ(o.update_hosts_ok, (std::set<int>{2, 3}));
  EXPECT_EQ(o.quote, "q");
  EXPECT_EQ(o.update_key_out, "k.pub");
  EXPECT_EQ(o.update_signature, "tampered");
  EXPECT_DOUBLE_EQ(o.answer_size_scale, 0.01);
  EXPECT_EQ(o.offered_version, "4.7");
  EXPECT_EQ(o.env_file, "/x/sim.env");
}

TEST(SimOptions, VersionAndHelpAreAnswered) {
  std::vector<std::string> args = {"pelvaro-sim", "--version"};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  SimOptions options;
  std::string error;
  bool help = true, version = false;
  ASSERT_TRUE(ParseSimOptions(2, argv.data(), options, error, help, version)) << error;
  EXPECT_TRUE(version);
  EXPECT_FALSE(help);
}

TEST(SimOptions, BadFlagsAreRefused) {
  const std::vector<std::vector<std::string>> bad = {
      {"--seed"},
      {"--seed", "x"},
      {"--articles", "-1"},
      {"--size-scale", "0"},
      {"--port", "web=1"},
      {"--port", "platform"},
      {"--update-hosts", "4"},
      {"--manifest-encoding", "latin1"},
      {"--no-such-flag"},
      {"--rate-limit", "1e3"},
      {"--update-signature", "forged"},
      {"--answer-size-scale", "-1"},
  };
  for (const auto& args : bad) {
    SimOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, o, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace pelvaro::sim
