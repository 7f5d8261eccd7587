// The command-line tool's main job: correcting images without a window, on
// the same code path as the editing window (start-up, a Batchline with its
// job files, thumbnails and records, the save pipeline), with the questions
// answered by options. Each run works in a run folder of its own
// (runfolder.h), adding and saving the images a few at a time; saving is
// spread over worker processes (the image file layer keeps process-wide
// state, so processes, not threads).
#pragma once

#include <cstdio>

// "correct IN... [options]".
int RunCorrect(int argc, char** argv);
// "job save JOBFILE IN... [options]", "job run JOBFILE [options]",
// "job unfinished [--resume [options] | --discard]".
int RunJob(int argc, char** argv);
// The help text of the two commands, with an example for every option.
void PrintBatchUsage(FILE* out);
