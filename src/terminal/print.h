// The console print functions: the program's own text (banners, prompts,
// connection progress, error boxes) written on the first Terminal's current
// screen through its interpreter, so that escape sequences place and colour
// it.  Without a Terminal they do nothing.
#pragma once
#include "types.h"

void tputc(int byte);
void tprintf(const char* format, ...) ZARNEK_PRINTF(1, 2);
// The message white on red, then " Press any key to continue " until a key.
void terror(const char* format, ...) ZARNEK_PRINTF(1, 2);
