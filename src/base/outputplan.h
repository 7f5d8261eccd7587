// The output plan of a run: before anything is written, the names of every
// output the run will make and every file it reads, so that no output lands
// on an input of the run or on another output of it. The batch save of the
// window and of the command-line tool (correct, job run, resume), "Save
// Image as..." and the converter ask it first.
//
// Files are compared as they are on the disk, never by spelling: an input
// by device and inode with its links resolved; an output by its own name
// (a save replaces a link at its name rather than writing through it): the
// device and inode of what has that name, or, for a name nothing has yet,
// its folder's device and inode and its leaf.
//
// The rules, for each image in the order the images are claimed:
// - its first output may be its own input (an image saved over itself, as
//   the naming "Same as original" asks); further outputs (the plates of a
//   DCS set) may not;
// - an output that is an input of the run (another image, or a file the run
//   reads) is refused;
// - an output that an earlier image's output already claims is refused: the
//   first image keeps the name;
// - an output name held by a file with other hard links, or by something
//   that is neither a regular file nor a link, is refused, as the save could
//   not replace it.
// A refused image is not saved at all, and its message names the file it
// would have overwritten. Outputs are never renamed to make room: refusing
// is the rule, and the run's summary and exit status count the refusal as a
// failure.
#pragma once

#include <string>
#include <vector>

struct PlanVerdict {
  bool ok = true;
  std::string message;  // why it is refused: "its output would replace ..."
};

class OutputPlan {
 public:
  // A file the run reads: every image of the run, and any other file that
  // must survive it (the other images of the Batchline).
  void AddInput(const std::string& path);
  // The verdict for the image `input` with its outputs (main output first);
  // when it is ok the outputs are the image's from now on.
  PlanVerdict Claim(const std::string& input, const std::vector<std::string>& outputs);

  // What a name is on the disk (see above).
  struct Key {
    unsigned long long dev = 0, ino = 0;
    std::string leaf;  // empty for a file that exists
    bool operator==(const Key& o) const { return dev == o.dev && ino == o.ino && leaf == o.leaf; }
  };

 private:
  struct Named {
    Key key;
    std::string path;
    std::string owner;  // outputs: the input they belong to
  };
  std::vector<Named> inputs_, outputs_;
};

// One image of a plan, and a whole plan at once: every input is added first,
// then each image is claimed in order; one verdict per image.
struct PlannedImage {
  std::string input;
  std::vector<std::string> outputs;
};
std::vector<PlanVerdict> PlanOutputs(const std::vector<PlannedImage>& images,
                                     const std::vector<std::string>& otherInputs = {});
