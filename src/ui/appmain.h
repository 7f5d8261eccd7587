// The GUI application entry, in this order: the application object, the
// diagnostics decision (Ctrl and Shift held at start, or --diagnostics, or
// TAVELIN_DIAGNOSTICS=1) with the log's separator line and, when on, the box
// "Tavelin Diagnostics enabled"; the Qt host and the monitor-profile hook;
// StartUp (a failure runs FinishUp and ends the run with 0); the command-line
// file list; the editing context and the editing window; the message loop
// until the window is gone; the context freed; FinishUp.
//
// Command line: every argument that is not an option names an image (or a
// job file) for the first Add; relative paths are taken from the current
// folder. Options: --diagnostics, --samples FOLDER (the sample photographs
// added when the Batchline is empty at the start), --help, --version.
#pragma once

#include <string>
#include <vector>

struct AppArguments {
  bool diagnostics = false;
  bool help = false;
  bool version = false;
  std::string samplesFolder;
  std::vector<std::string> files;  // absolute paths
  std::string error;               // an option that was not understood
};

// Parses argv (argv[0] skipped).
AppArguments ParseAppArguments(int argc, char** argv);
// The image files of a folder (recognised by extension: tif, tiff, jpg,
// jpeg, bmp), sorted by name.
std::vector<std::string> SamplePhotographs(const std::string& folder);

// The whole run of the GUI; the process's exit code.
int Ui_RunApplication(int argc, char** argv);
