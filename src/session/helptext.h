// The help text: the application's user guide, compiled into the program
// from src/session/helptext.txt (start-up writes it into the temporary folder
// as "TavelinMarvet Help"), and the reader the help window uses on that file.
//
// Format, read line by line (at most kHelpLineCapacity - 2 characters a line):
//   "#<number> <title>"  starts a topic; the number is read with "%d";
//   "##"                 ends the file;
//   "?"                  starts a paragraph: its text is the lines that follow,
//                        up to a line that begins with "*" or "#", joined with
//                        blanks (line feeds become blanks);
//   "*"                  ends a paragraph; the topic goes on only when the next
//                        line begins with "?";
//   a line beginning "#" also ends the topic, and a paragraph it cuts short is
//   kept whole;
//   a paragraph whose text begins with ")" is a picture: the number after the
//   ")" names a bitmap (drawn by the help window).
// Topics in the built-in text: kHelpTopics.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "base/stream.h"

constexpr size_t kHelpLineCapacity = 1024;

// The topic numbers the application shows help for.
enum HelpTopicId : int {
  kHelpOverview = 2000,
  kHelpColourBalance = 2001,
  kHelpBlackWhitePoint = 2002,
  kHelpBrightnessContrast = 2003,
  kHelpHueSelective = 2004,
  kHelpMemoryColour = 2005,
  kHelpPreferences = 2006,
  kHelpStartUpGuide = 2007,
  kHelpBrivioPreferences = 2008,
  kHelpSharpenNoise = 2009,
  kHelpNeutralPreference = 2010,
  kHelpGrayscale = 2011,
  kHelpSepiaTone = 2012,
  kHelpToningColour = 2013,
  kHelpColourManagementPrefs = 2015,
  kHelpUserInterfacePrefs = 2016,
  kHelpAddImagePrefs = 2017,
  kHelpSaveImagePrefs = 2018,
  kHelpSyncPrefs = 2019,
  kHelpQuestions = 2020,  // questions users ask (the help window's FAQ button)
};
inline constexpr int kHelpTopics[] = {2000, 2001, 2002, 2003, 2004, 2005, 2006, 2007, 2008, 2009,
                                      2010, 2011, 2012, 2013, 2015, 2016, 2017, 2018, 2019, 2020};

// The built-in help text (the whole file, bytes as written).
std::string_view BuiltInHelpText();

struct HelpParagraph {
  bool picture = false;
  int pictureId = 0;  // the bitmap of a picture paragraph
  std::string text;   // a text paragraph, line feeds turned into blanks
};

struct HelpTopic {
  int number = 0;
  std::string title;  // the rest of the "#" line, trimmed
  std::vector<HelpParagraph> paragraphs;
};

// Reads topic `number` from an open stream, from its start. kFormatErr when
// the file ends (or "##" comes) before the topic; a failing read gives its
// status with *failedLine the 1-based line it was reading. Empty text
// paragraphs are left out.
Status ReadHelpTopic(Stream& s, int number, HelpTopic* topic, int* failedLine);

// Opens `path` and reads the topic. Failures to open are reported ("opening
// file %s") and so are read failures ("reading line %d of file %s"); a topic
// missing from the file is only logged and gives kFormatErr.
Status LoadHelpTopic(const std::string& path, int number, HelpTopic* topic);
