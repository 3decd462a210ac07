// Transcripts: the utility's cases written as the manual shows its examples.
// Each file in transcripts/ runs in a fresh directory, the current one while
// it runs, a step at a time:
//
//   # a comment                 ignored (a "#" and a blank)
//   $ reclink ARGS              runs the command in this process; the lines up
//   EXPECTED                    to the next "$" are what it prints, results
//   ...                         then messages, CR LF or LF ending a line alike
//                               and "/" standing for a backslash too (Windows);
//                               "..." stands for any lines, and
//   ? 1                         "? N" is the exit status (0 when not given)
//   $ cat NAME                  writes the lines that follow into NAME
//   $ printf NAME TEXT          adds TEXT to the end of NAME: \r \n \\ \xHH decoded
//   $ cmp A B                   the two files must hold the same bytes
//   $ manual HEADING            runs the transcripts of that section of
//                               docs/reclink.md, as they are shown there
//                               (they show no exit statuses: any will do)
//
// ARGS are split at blanks.
// A failing step names the file and line, the command, what was expected
// and what came.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "command_test_support.h"

namespace fs = std::filesystem;

namespace reclink::cli::test {
namespace {

struct Line {
  std::string where;  // FILE:LINE
  std::string text;
};

std::vector<Line> LinesOf(const std::string& path, const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  int n = 0;
  for (std::string line; std::getline(in, line);) lines.push_back({path + ":" + std::to_string(++n), line});
  return lines;
}

// The manual, found from the directories transcripts run in too (on Windows
// a path without a drive is taken on the current directory's drive).
const std::string kManual = fs::absolute(RECLINK_MANUAL).string();

// The transcripts in the section of the manual under heading.
std::vector<Line> ManualSection(const std::string& heading) {
  std::vector<Line> section;
  std::string current;
  bool inside = false;
  bool transcript = false;  // the block shows commands, not a usage line
  for (const Line& line : LinesOf(kManual, Slurp(kManual))) {
    if (line.text.starts_with("```")) {
      inside = !inside;
      transcript = false;
    } else if (inside && current == heading && (transcript || line.text.starts_with("$ "))) {
      transcript = true;
      section.push_back(line);
    } else if (!inside && line.text.starts_with("#")) {
      current = line.text;
    }
  }
  EXPECT_FALSE(section.empty()) << "the manual has no examples under " << heading;
  return section;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string Unescape(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
    } else if (const char c = text[++i]; c == 'x') {
      bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
  }
  return bytes;
}

// Whether a line came as expected; a path's separator may be either slash.
bool SameLine(const std::string& expected, const std::string& got) {
  return std::equal(expected.begin(), expected.end(), got.begin(), got.end(),
                    [](char a, char b) { return a == b || (a == '/' && b == '\\'); });
}

// Whether got, line by line, is what expected says, "..." matching any lines.
bool Matches(const std::vector<std::string>& expected, size_t e, const std::vector<std::string>& got, size_t g) {
  if (e == expected.size()) return g == got.size();
  if (expected[e] == "...") {
    for (size_t from = g; from <= got.size(); ++from) {
      if (Matches(expected, e + 1, got, from)) return true;
    }
    return false;
  }
  return g < got.size() && SameLine(expected[e], got[g]) && Matches(expected, e + 1, got, g + 1);
}

// Runs the steps of lines; the manual's transcripts show no exit statuses.
void RunSteps(const std::vector<Line>& lines, bool manual = false) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& step = lines[i];
    if (step.text.empty() || step.text.starts_with("# ")) continue;
    ASSERT_TRUE(step.text.starts_with("$ ")) << step.where << ": a step begins with \"$ \"";
    std::vector<std::string> expected;
    int status = 0;
    for (; i + 1 < lines.size() && !lines[i + 1].text.starts_with("$ "); ++i) {
      const std::string& text = lines[i + 1].text;
      if (text.starts_with("# ")) {
        continue;
      } else if (text.starts_with("? ")) {
        status = std::stoi(text.substr(2));
      } else {
        expected.push_back(text);
      }
    }
    std::string text;  // the expected lines, as a file holds them
    for (const std::string& line : expected) text += line + "\n";
    std::vector<std::string> words = Words(step.text.substr(2));
    const std::string& verb = words.at(0);
    if (verb == "manual") {
      RunSteps(ManualSection(step.text.substr(std::string("$ manual ").size())), true);
    } else if (verb == "cat") {
      Spit(words.at(1), text);
    } else if (verb == "printf") {
      std::ofstream(words.at(1), std::ios::binary | std::ios::app)
          << Unescape(step.text.substr(std::string("$ printf ").size() + words[1].size() + 1));
    } else if (verb == "cmp") {
      EXPECT_TRUE(Slurp(words.at(1)) == Slurp(words.at(2))) << step.where << ": " << step.text;
    } else {
      ASSERT_EQ(verb, "reclink") << step.where << ": no such step";
      const Outcome o = Reclink(std::vector<std::string>(words.begin() + 1, words.end()));
      std::vector<std::string> got;
      for (const Line& line : LinesOf("", o.out + o.err)) {
        got.push_back(line.text.ends_with('\r') ? line.text.substr(0, line.text.size() - 1) : line.text);
      }
      EXPECT_TRUE((manual || o.status == status) && Matches(expected, 0, got, 0))
          << step.where << ": " << step.text << "\nexpected (exit status " << status << "):\n"
          << text << "came (exit status " << o.status << "):\n" << o.out << o.err;
    }
  }
}

class Transcript : public ::testing::TestWithParam<std::string> {};

TEST_P(Transcript, RunsAsWritten) {
  const fs::path file = fs::path(RECLINK_TRANSCRIPTS) / (GetParam() + ".t");
  const std::vector<Line> lines = LinesOf(file.filename().string(), Slurp(file.string()));
  ASSERT_FALSE(lines.empty()) << file;
  TempDir tmp;
  const fs::path home = fs::current_path();
  fs::current_path(tmp.path());
  RunSteps(lines);
  fs::current_path(home);
}

std::vector<std::string> TranscriptNames() {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(RECLINK_TRANSCRIPTS)) {
    if (e.path().extension() == ".t") names.push_back(e.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Tools, Transcript, testing::ValuesIn(TranscriptNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

// The manual's examples of description files, stat and create, beside the
// directory db and the notes' table of weights upper.alt: each byte weighs
// its own value, but a to z weigh as their capitals.
TEST(ManualTranscript, DescriptionFilesStatAndCreate) {
  TempDir tmp;
  fs::create_directory(tmp.file("db"));
  std::string upper(256, '\0');
  for (int b = 0; b < 256; ++b) upper[b] = static_cast<char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
  Spit(tmp.file("upper.alt"), upper);
  const fs::path home = fs::current_path();
  fs::current_path(tmp.path());
  for (const char* heading : {"## Description files", "### stat", "### create"}) RunSteps(ManualSection(heading), true);
  fs::current_path(home);
}

}  // namespace
}  // namespace reclink::cli::test
