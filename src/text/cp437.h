// Code page 437, the console's character set: the POSIX console shows it on
// a UTF-8 terminal and reads it back from one, and screen dumps are written
// in it.  It needs no platform, so every layer may use it.
#pragma once
#include <string>

// The code page 437 character of a byte (control bytes have glyphs too).
char16_t cp437ToUnicode(unsigned char byte);
// Appends the UTF-8 text of a code page 437 byte.
void appendCp437AsUtf8(std::string& out, unsigned char byte);
// The code page 437 byte of a character; -1 when the code page lacks it.
int unicodeToCp437(char32_t character);
