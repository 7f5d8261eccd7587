// tavelin-cli: the command-line tool. Works without a display.
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/strings.h"

static void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: tavelin-cli COMMAND [ARGS...]\n"
               "\n"
               "Colour correction of photographs without a window.\n"
               "\n"
               "Options:\n"
               "  --help       show this help and exit\n"
               "  --version    show the version and exit\n");
}

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("tavelin-cli %s (%s)\n", TAVELIN_VERSION, ResText(1000));
    return 0;
  }
  std::fprintf(stderr, "tavelin-cli: unknown command '%s'\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
