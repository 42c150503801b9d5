#include "tools/marqen/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using marqen::tool::HelpRequested;
using marqen::tool::Option;
using marqen::tool::parseArguments;
using marqen::tool::ParsedArguments;

constexpr Option kOptions[] = {
    {"in", "FILE", "input"},
    {"out", "FILE", "output", "standard output"},
    {"detached", {}, "flag"},
};

std::optional<ParsedArguments> parse(const std::vector<std::string>& args) {
  return parseArguments(args, kOptions);
}

struct Accepted {
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> flags;
  std::vector<std::string> positional;
};

TEST(ArgumentParser, ReadsEachSpellingOfOptionsFlagsAndPositionals) {
  const std::vector<Accepted> cases = {
      {{"--in", "a"}, {{"in", "a"}}, {}, {}},
      {{"--in=a"}, {{"in", "a"}}, {}, {}},
      {{"--in="}, {{"in", ""}}, {}, {}},
      {{"--in=a=b"}, {{"in", "a=b"}}, {}, {}},
      {{"--in", "-", "--out=-"}, {{"in", "-"}, {"out", "-"}}, {}, {}},
      {{"--in", "--detached"}, {{"in", "--detached"}}, {}, {}},  // a value stays a value
      {{"--in", "--help"}, {{"in", "--help"}}, {}, {}},
      {{"--detached", "x", "-"}, {}, {"detached"}, {"x", "-"}},
      {{"--", "--in", "--detached"}, {}, {}, {"--in", "--detached"}},
      {{"-x", "--in", "a", "y"}, {{"in", "a"}}, {}, {"-x", "y"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const auto parsed = parse(c.args);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->options.size(), c.options.size());
    for (const auto& [name, value] : c.options) {
      ASSERT_NE(parsed->option(name), nullptr) << name;
      EXPECT_EQ(*parsed->option(name), value);
    }
    EXPECT_EQ(std::vector<std::string>(parsed->flags.begin(), parsed->flags.end()), c.flags);
    EXPECT_EQ(parsed->positional, c.positional);
  }
}

TEST(ArgumentParser, RefusesWhatItCannotReadWithTheReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--in", "a", "--in", "b"}, "option --in given twice"},
      {{"--in=a", "--in", "a"}, "option --in given twice"},
      {{"--detached", "--detached"}, "option --detached given twice"},
      {{"--detached=yes"}, "option --detached takes no value"},
      {{"--armor"}, "unknown option --armor"},
      {{"--armor=1"}, "unknown option --armor"},
      {{"--in"}, "option --in needs a value"},
      {{"a", "--out"}, "option --out needs a value"},
  };
  for (const auto& [args, reason] : cases) {
    testing::internal::CaptureStderr();
    const auto parsed = parse(args);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(parsed) << testing::PrintToString(args);
    EXPECT_EQ(printed, "marqen: " + reason + "\n") << testing::PrintToString(args);
  }
}

TEST(ArgumentParser, HelpAnywhereAmongTheOptionsAsksForTheCommandsHelp) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                               {"--in", "a", "--help"},
                                               {"--in", "a", "--help", "x"}}) {
    try {
      parse(args);
      ADD_FAILURE() << "no help for " << testing::PrintToString(args);
    } catch (const HelpRequested& help) {
      ASSERT_EQ(help.options.size(), std::size(kOptions));
      EXPECT_EQ(help.options[1].byDefault, "standard output");
    }
  }
  // The same options declared by name alone are read alike.
  const std::vector<std::string> args = {"--in=a", "--detached"};
  const auto byName = parseArguments(args, {"in", "out"}, {"detached"});
  ASSERT_TRUE(byName);
  EXPECT_EQ(*byName->option("in"), "a");
  EXPECT_TRUE(byName->has("detached"));
  EXPECT_THROW(parseArguments(std::vector<std::string>{"--help"}, {"in"}), HelpRequested);
}

TEST(CommandHelp, ShowsEveryOptionWithItsDefault) {
  const marqen::tool::Command usages[] = {{"demo", "demo --in FILE", "does a demo", nullptr}};
  std::ostringstream out;
  marqen::tool::printCommandHelp(out, usages, kOptions);
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("usage: marqen demo --in FILE\n", 0), 0U) << text;
  EXPECT_NE(text.find("does a demo"), std::string::npos);
  EXPECT_NE(text.find("  --in FILE   input\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  --out FILE  output (default: standard output)\n"), std::string::npos);
  EXPECT_NE(text.find("  --detached  flag\n"), std::string::npos);
}

TEST(SerialNumbers, AreReadAsNumbersInTheFormTheStoresPrint) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"1A2B", "1A2B"},
      {"1a2b", "1A2B"},
      {"1a:2b", "1A2B"},
      {"00:1a:2b", "1A2B"},
      {"00001A2B", "1A2B"},
      {"A2B", "0A2B"},
      {"8F1234", "008F1234"},  // a top bit set is encoded after a 00
      {"8f:12:34", "008F1234"},
      {"00:8F:12:34", "008F1234"},
      {"0", "00"},
      {"00", "00"},
      {"0000", "00"},
      {"", std::nullopt},
      {":", std::nullopt},
      {"1G", std::nullopt},
      {"0x1A", std::nullopt},
      {"-1A", std::nullopt},
  };
  for (const auto& [typed, expected] : cases)
    EXPECT_EQ(marqen::tool::normaliseSerial(typed), expected) << "'" << typed << "'";
}

TEST(BinaryOutput, IsWhatWouldNotReadAsText) {
  using marqen::tool::looksBinary;
  EXPECT_FALSE(looksBinary("Purchase order\r\n\tTotal: EUR 18.40\n"));
  EXPECT_FALSE(looksBinary("Bestellung \xC3\xBC\n"));
  EXPECT_FALSE(looksBinary(""));
  EXPECT_TRUE(looksBinary(std::string("a\0b", 3)));
  EXPECT_TRUE(looksBinary("\x30\x82\x01\x0a"));
  EXPECT_TRUE(looksBinary("text\x1b[31m"));
  EXPECT_TRUE(looksBinary("\x7f"));
}

}  // namespace
