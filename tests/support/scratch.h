// Test support: every test process works in its own scratch folder, with
// $XDG_CONFIG_HOME and $TMPDIR pointed inside it, so tests never touch the
// user's folders. Also small file helpers.
#pragma once

#include <string>
#include <vector>

// The process's scratch folder (ends in '/').
const std::string& ScratchDir();
// Points $XDG_CONFIG_HOME, $TMPDIR and $HOME inside the scratch folder,
// unsets $XDG_RUNTIME_DIR (and sets QT_QPA_PLATFORM at offscreen unless
// set); every test main calls it first.
void UseScratchEnvironment();
// Removes the scratch folder unless TAVELIN_KEEP_SCRATCH is set.
void RemoveScratch();
// A fresh empty subfolder of the scratch folder (ends in '/').
std::string FreshDir(const std::string& name);
// Whole-file helpers; ReadFileBytes returns false when the file is missing.
bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& bytes);
std::string ReadFileText(const std::string& path);
void WriteFileBytes(const std::string& path, const void* data, size_t size);
inline void WriteFileText(const std::string& path, const std::string& text) { WriteFileBytes(path, text.data(), text.size()); }
bool FileExists(const std::string& path);
// Runs a shell command; returns its exit status, output in `output` when given.
int RunCommand(const std::string& command, std::string* output = nullptr);
// The test data folder (tests/data/, ends in '/').
std::string TestData(const std::string& name);
