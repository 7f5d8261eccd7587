// The string table: every user-visible text, caption, phrase and file name by
// its number. Formatted texts are built with Fmt / Phrase (printf forms from
// the table; arguments must match them).
#pragma once

#include <string>

constexpr int kResTextCapacity = 256;

// Loads text `id` into `buffer` (kResTextCapacity characters) or, with a null
// buffer, into one shared static buffer that the next such call overwrites.
// A missing text logs the error (with the diagnostics flag given) and yields "?".
const char* Ui_ResToCString(int diagnostics, int id, char* buffer);

// The table's text, or null when missing (no log).
const char* ResText(int id);
// The table's text as a string ("?" when missing, logged).
std::string ResString(int id);

// printf into a string.
std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The table's text `id` used as a printf form.
std::string Phrase(int id, ...);

// The leaf of a path: what follows the last '/'.
std::string LeafName(const std::string& path);
// The folder of a path: everything up to and including the last '/', or
// `none` when the path has no '/'.
std::string FolderOf(const std::string& path, const char* none = "");
// A path as one line of text: a backslash becomes "\\", a line feed "\n",
// a tab "\t", a carriage return "\r" and any other control character
// "\xHH", so that a file name can never split or forge a line of output.
std::string PrintablePath(const std::string& path);

// Text helpers with the application's conventions.
// Compares like strcmp; a null argument gives -1000.
int TextCompare(const char* a, const char* b);
// Copies at most n − 1 characters and always terminates (n > 0).
void TextCopyN(char* dst, const char* src, size_t n);
