// The output plan on real files: outputs compared with the inputs and with
// each other as files on the disk, whatever their spelling.
#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "base/outputplan.h"
#include "support/scratch.h"

namespace {

TEST(OutputPlanTest, NoOutputLandsOnAnInputOrAnotherOutput) {
  const std::string d = FreshDir("plan");
  std::filesystem::create_directories(d + "out");
  std::filesystem::create_directories(d + "folder");
  for (const char* leaf : {"a.jpg", "b.jpg", "h1.jpg", "other.jpg"}) WriteFileText(d + leaf, leaf);
  ASSERT_EQ(::symlink((d + "b.jpg").c_str(), (d + "to_b.jpg").c_str()), 0);
  ASSERT_EQ(::link((d + "h1.jpg").c_str(), (d + "h2.jpg").c_str()), 0);
  ASSERT_EQ(::symlink((d + "out").c_str(), (d + "out_link").c_str()), 0);

  struct Case {
    const char* name;
    std::vector<PlannedImage> images;
    std::vector<std::string> refusals;  // per image: empty when saved, else a part of the reason
  } cases[] = {
      {"saved over itself", {{d + "a.jpg", {d + "a.jpg"}}}, {""}},
      {"on another input", {{d + "a.jpg", {d + "b.jpg"}}, {d + "b.jpg", {d + "b_2.jpg"}}},
       {"its output would replace " + d + "b.jpg, an input of this run", ""}},
      {"two spellings of one output",
       {{d + "a.jpg", {d + "out/x.jpg"}}, {d + "b.jpg", {d + "folder/../out/./x.jpg"}}},
       {"", "is also the output of " + d + "a.jpg"}},
      {"through a linked folder", {{d + "a.jpg", {d + "out/y.jpg"}}, {d + "b.jpg", {d + "out_link/y.jpg"}}},
       {"", "is also the output of " + d + "a.jpg"}},
      {"a link to an input is replaced, not followed", {{d + "a.jpg", {d + "to_b.jpg"}}, {d + "b.jpg", {d + "c.jpg"}}},
       {"", ""}},
      {"hard-linked output", {{d + "a.jpg", {d + "h2.jpg"}}}, {"has other names (hard links)"}},
      {"a folder at the name", {{d + "a.jpg", {d + "folder"}}}, {"is not a regular file"}},
      {"a plate on the input", {{d + "a.jpg", {d + "a.dcs", d + "a.jpg"}}}, {"would replace its input"}},
      {"a file the run only reads", {{d + "a.jpg", {d + "other.jpg"}}}, {"would replace " + d + "other.jpg"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<PlanVerdict> v = PlanOutputs(c.images, {d + "other.jpg"});
    ASSERT_EQ(v.size(), c.refusals.size());
    for (size_t i = 0; i < v.size(); ++i) {
      EXPECT_EQ(v[i].ok, c.refusals[i].empty()) << i << ": " << v[i].message;
      EXPECT_NE(v[i].message.find(c.refusals[i]), std::string::npos) << i << ": " << v[i].message;
    }
  }
}

}  // namespace
