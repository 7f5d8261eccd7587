# Writes the bytes of IN as a comma-separated list of hexadecimal literals
# into OUT, for a C++ array initialiser (the built-in help text).
#   cmake -DIN=<file> -DOUT=<file> -P embed_bytes.cmake
file(READ "${IN}" hex HEX)
string(REPEAT "[0-9a-f][0-9a-f]" 16 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
get_filename_component(name "${IN}" NAME)
file(WRITE "${OUT}.tmp" "// Generated from ${name} by cmake/embed_bytes.cmake; do not edit.\n${bytes}\n")
file(RENAME "${OUT}.tmp" "${OUT}")
