// The help file reader on small hand-made files, and the built-in help text
// read through it.
#include "session/helptext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/app_fixture.h"

namespace {

class HelpTextTest : public AppFixture {
 protected:
  // Writes `text` as a help file and reads topic `number` from it.
  Status Read(const std::string& text, int number, HelpTopic* topic) {
    const std::string path = ScratchDir() + "help.txt";
    WriteFileText(path, text);
    return LoadHelpTopic(path, number, topic);
  }
  static std::vector<std::string> Texts(const HelpTopic& t) {
    std::vector<std::string> out;
    for (const HelpParagraph& p : t.paragraphs) out.push_back(p.picture ? ")" + std::to_string(p.pictureId) : p.text);
    return out;
  }
};

TEST_F(HelpTextTest, ParagraphsPicturesAndTheEndsOfATopic) {
  const std::string file =
      "preamble ignored\n"
      "#1999 Other\n?\nnot this\n*\n"
      "#2000 Overview  \n"
      "?\nFirst line\nsecond line\n*\n"
      "?\n)3001\n*\n"
      "?\nLast paragraph,\ncut by the next topic\n"  // no "*" before "#"
      "#2001 Color Balance\n?\nBalance.\n*\nnot a question mark: the topic ends\n?\nnever read\n*\n"
      "#2002\r\n?\r\nWindows\r\nline ends\r\n*\r\n"
      "#2003\n?\nThe file ends inside this one";
  struct Case {
    int number;
    std::string title;
    std::vector<std::string> paragraphs;
  } cases[] = {
      {2000, "Overview", {"First line second line", ")3001", "Last paragraph, cut by the next topic"}},
      {2001, "Color Balance", {"Balance."}},
      {2002, "", {"Windows line ends"}},
      {2003, "", {"The file ends inside this one"}},
  };
  for (const Case& c : cases) {
    HelpTopic topic;
    ASSERT_EQ(Read(file, c.number, &topic), kOk) << c.number;
    EXPECT_EQ(topic.number, c.number);
    EXPECT_EQ(topic.title, c.title);
    EXPECT_EQ(Texts(topic), c.paragraphs) << c.number;
  }
  HelpTopic picture;
  ASSERT_EQ(Read(file, 2000, &picture), kOk);
  EXPECT_TRUE(picture.paragraphs[1].picture);
  EXPECT_EQ(picture.paragraphs[1].pictureId, 3001);
}

TEST_F(HelpTextTest, MissingTopicsGiveFormatErrorWithoutAlert) {
  struct Case {
    const char* text;
    int number;
  } cases[] = {
      {"#2000\n?\nA\n*\n", 2007},              // not in the file
      {"#2000\n?\nA\n*\n##\n#2007\n?\nB\n*\n", 2007},  // after the end mark
      {"#20007\n?\nA\n*\n", 2000},             // a longer number is another topic
      {"", 2000},
  };
  for (const Case& c : cases) {
    HelpTopic topic;
    EXPECT_EQ(Read(c.text, c.number, &topic), kFormatErr) << c.text;
  }
  EXPECT_EQ(host().Count(ScriptedHost::Kind::Alert), 0);
}

TEST_F(HelpTextTest, AMissingFileIsReported) {
  HelpTopic topic;
  const std::string path = ScratchDir() + "no such help";
  EXPECT_EQ(LoadHelpTopic(path, 2000, &topic), kOpenErr);
  const auto alerts = host().Of(ScriptedHost::Kind::Alert);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_NE(alerts[0].text.find("opening file " + path), std::string::npos) << alerts[0].text;
}

// Every topic the application shows is in the built-in text and is read
// whole: as many paragraphs as its "?" lines (a text line that happened to
// begin with "*" or "#" would cut the topic short), every line within the
// reader's line buffer.
TEST_F(HelpTextTest, TheBuiltInTextHasEveryTopicWhole) {
  const std::string text(BuiltInHelpText());
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(text.size() - 3), "##\n");
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    EXPECT_LE(lines.back().size(), kHelpLineCapacity - 2) << lines.back().substr(0, 40);
    start = end + 1;
  }
  const std::string path = ScratchDir() + "TavelinMarvet Help";
  WriteFileText(path, text);
  for (int number : kHelpTopics) {
    size_t questions = 0;
    bool inside = false;
    for (const std::string& line : lines) {
      if (!line.empty() && line[0] == '#') inside = line.rfind("#" + std::to_string(number) + " ", 0) == 0;
      else if (inside && !line.empty() && line[0] == '?') ++questions;
    }
    HelpTopic topic;
    ASSERT_EQ(LoadHelpTopic(path, number, &topic), kOk) << number;
    EXPECT_FALSE(topic.title.empty()) << number;
    EXPECT_GT(questions, 0u) << number;
    EXPECT_EQ(topic.paragraphs.size(), questions) << number;
  }
}

}  // namespace
