// The examples of the utility's manual, run as they are shown: the
// transcripts of its stat, create and description sections, and the
// sequential format's example.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "command_test_support.h"

namespace fs = std::filesystem;

namespace reclink::cli::test {
namespace {

// The sections whose transcripts run here; the others name paths of a
// clinic's own (/srv/clinic/db, a CD-ROM) or records of its database.
const char* const kRunSections[] = {"### stat", "### create", "## Description files"};

// A fenced block of the manual and the heading of its section.
struct Block {
  std::string section;
  std::vector<std::string> lines;
};

std::vector<Block> Blocks(const std::string& manual) {
  std::vector<Block> blocks;
  std::string section;
  bool inside = false;
  std::istringstream in(manual);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("```")) {
      if (!inside) blocks.push_back({section, {}});
      inside = !inside;
    } else if (inside) {
      blocks.back().lines.push_back(line);
    } else if (line.starts_with("#")) {
      section = line;
    }
  }
  return blocks;
}

// One step of a transcript: "$ cat NAME" and the file's lines, or
// "$ reclink ARGS" and what it prints.
struct Step {
  std::vector<std::string> words;  // the command line after "$ "
  std::string text;                // the lines after it, each with its line end
};

std::vector<Step> Transcript(const Block& block) {
  std::vector<Step> steps;
  for (const std::string& line : block.lines) {
    if (line.starts_with("$ ")) {
      std::istringstream words(line.substr(2));
      steps.push_back({});
      for (std::string w; words >> w;) steps.back().words.push_back(w);
    } else if (!steps.empty()) {
      steps.back().text += line + "\n";
    }
  }
  return steps;
}

TEST(Manual, ExamplesRunAsShown) {
  const std::string manual = Slurp(RECLINK_MANUAL);
  ASSERT_FALSE(manual.empty()) << RECLINK_MANUAL;
  TempDir tmp;
  fs::create_directory(tmp.file("db"));
  std::string upper(256, '\0');  // the table beside the notes' description
  for (int b = 0; b < 256; ++b) upper[b] = static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
  Spit(tmp.file("upper.alt"), upper);

  // Every file a transcript shows is written first: an example may use a
  // description that a later section shows.
  std::vector<Step> commands;
  for (const Block& block : Blocks(manual)) {
    if (std::find(std::begin(kRunSections), std::end(kRunSections), block.section) == std::end(kRunSections)) {
      continue;
    }
    for (Step& step : Transcript(block)) {
      ASSERT_GE(step.words.size(), 2u) << block.section;
      if (step.words[0] == "cat") {
        Spit(tmp.file(step.words[1]), step.text);
      } else {
        ASSERT_EQ(step.words[0], "reclink") << block.section;
        commands.push_back(std::move(step));
      }
    }
  }
  EXPECT_EQ(commands.size(), 6u) << "the transcripts the manual shows";
  const fs::path home = fs::current_path();
  fs::current_path(tmp.path());
  for (const Step& step : commands) {
    const Outcome o = Reclink(std::vector<std::string>(step.words.begin() + 1, step.words.end()));
    EXPECT_EQ(o.out + o.err, step.text) << "reclink " << step.words[1] << " " << step.words[2];
  }
  fs::current_path(home);

  // The sequential format's example, each <N bytes> a record holding CR,
  // LF, a comma and a Ctrl-Z, loads into a file and saves back byte for byte.
  std::string example;
  for (const Block& block : Blocks(manual)) {
    if (block.section == "## The sequential format" && example.empty()) example = block.lines.at(0);
  }
  const std::regex placeholder("<([0-9]+) bytes>");
  std::smatch m;
  std::string bytes;
  for (char n = 'a'; std::regex_search(example, m, placeholder); ++n) {
    std::string record(std::stoul(m[1]), '\0');
    record.replace(0, 5, std::string(1, n) + "\r\n,\x1a");
    bytes += m.prefix().str() + record;
    example = m.suffix();
  }
  bytes += example;
  const std::pair<std::string, char> escapes[] = {{"\\r", '\r'}, {"\\n", '\n'}, {"\\x1a", '\x1a'}};
  for (const auto& [escape, byte] : escapes) {
    for (size_t at; (at = bytes.find(escape)) != std::string::npos;) bytes.replace(at, escape.size(), 1, byte);
  }
  ASSERT_THAT(bytes, testing::StartsWith("64,a\r\n,\x1a")) << "the example shows records of 64 bytes";
  Spit(tmp.file("in.seq"), bytes);
  Spit(tmp.file("seq.des"), "record=64 key=0\n");
  ASSERT_EQ(Reclink({"create", tmp.file("SEQ.BTR"), tmp.file("seq.des")}).status, 0);
  Outcome o = Reclink({"load", tmp.file("in.seq"), tmp.file("SEQ.BTR")});
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_EQ(Reclink({"save", tmp.file("SEQ.BTR"), tmp.file("out.seq")}).status, 0);
  EXPECT_TRUE(Slurp(tmp.file("out.seq")) == bytes);
}

}  // namespace
}  // namespace reclink::cli::test
