#include "base/outputplan.h"

#include <sys/stat.h>

#include "base/strings.h"

namespace {

using Key = OutputPlan::Key;

// A name nothing has yet: its folder on the disk and its leaf.
Key MissingKey(const std::string& path) {
  Key k;
  struct stat st;
  if (::stat(FolderOf(path, "./").c_str(), &st) == 0) {
    k.dev = st.st_dev;
    k.ino = st.st_ino;
    k.leaf = LeafName(path);
  } else {
    k.leaf = path;  // a folder that cannot be reached: the spelling is all there is
  }
  return k;
}

Key FileKey(const struct stat& st) {
  Key k;
  k.dev = st.st_dev;
  k.ino = st.st_ino;
  return k;
}

Key InputKey(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? FileKey(st) : MissingKey(path);
}

}  // namespace

void OutputPlan::AddInput(const std::string& path) { inputs_.push_back(Named{InputKey(path), path, {}}); }

PlanVerdict OutputPlan::Claim(const std::string& input, const std::vector<std::string>& outputs) {
  const Key own = InputKey(input);
  std::vector<Named> claimed;
  for (size_t j = 0; j < outputs.size(); ++j) {
    const std::string& out = outputs[j];
    struct stat st;
    Key key;
    if (::lstat(out.c_str(), &st) == 0) {
      if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return {false, Phrase(9105, out.c_str())};
      if (S_ISREG(st.st_mode) && st.st_nlink > 1) return {false, Phrase(9104, out.c_str())};
      key = FileKey(st);
    } else {
      key = MissingKey(out);
    }
    if (key == own) {
      if (j == 0) {
        claimed.push_back(Named{key, out, input});
        continue;
      }
      return {false, Phrase(9106, out.c_str())};
    }
    for (const Named& in : inputs_)
      if (in.key == key) return {false, Phrase(9102, in.path.c_str())};
    for (const Named& o : outputs_)
      if (o.key == key) return {false, Phrase(9103, out.c_str(), o.owner.c_str())};
    for (const Named& o : claimed)
      if (o.key == key) return {false, Phrase(9103, out.c_str(), o.owner.c_str())};
    claimed.push_back(Named{key, out, input});
  }
  outputs_.insert(outputs_.end(), claimed.begin(), claimed.end());
  return {};
}

std::vector<PlanVerdict> PlanOutputs(const std::vector<PlannedImage>& images, const std::vector<std::string>& otherInputs) {
  OutputPlan plan;
  for (const PlannedImage& image : images) plan.AddInput(image.input);
  for (const std::string& path : otherInputs) plan.AddInput(path);
  std::vector<PlanVerdict> verdicts;
  verdicts.reserve(images.size());
  for (const PlannedImage& image : images) verdicts.push_back(plan.Claim(image.input, image.outputs));
  return verdicts;
}
