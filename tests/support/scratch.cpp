#include "support/scratch.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

const std::string& ScratchDir() {
  static const std::string dir = [] {
    fs::path base = fs::temp_directory_path();
    if (const char* b = std::getenv("TAVELIN_TEST_SCRATCH")) base = b;
    std::string pattern = (base / "tavelin-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (!made) std::abort();
    return std::string(made) + "/";
  }();
  return dir;
}

void UseScratchEnvironment() {
  const std::string scratch = ScratchDir();
  fs::create_directories(scratch + "config");
  fs::create_directories(scratch + "tmp");
  fs::create_directories(scratch + "home");
  ::setenv("XDG_CONFIG_HOME", (scratch + "config").c_str(), 1);
  ::setenv("TMPDIR", (scratch + "tmp").c_str(), 1);
  ::setenv("HOME", (scratch + "home").c_str(), 1);
  // The working folder then lies in $TMPDIR, inside the scratch folder too.
  ::unsetenv("XDG_RUNTIME_DIR");
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void RemoveScratch() {
  if (!std::getenv("TAVELIN_KEEP_SCRATCH")) fs::remove_all(ScratchDir());
}

std::string FreshDir(const std::string& name) {
  fs::path p = fs::path(ScratchDir()) / name;
  fs::remove_all(p);
  fs::create_directories(p);
  return p.string() + "/";
}

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string ReadFileText(const std::string& path) {
  std::vector<unsigned char> bytes;
  ReadFileBytes(path, bytes);
  return std::string(bytes.begin(), bytes.end());
}

void WriteFileBytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), (std::streamsize)size);
}

bool FileExists(const std::string& path) { return fs::exists(path); }

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buffer;
  std::string text;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) text.append(buffer.data(), n);
  int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TestData(const std::string& name) { return std::string(TAVELIN_TEST_DATA) + "/" + name; }
