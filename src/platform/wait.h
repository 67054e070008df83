// Descriptors whose input ends the idle Sleep early (the open sockets).
#pragma once

#ifdef _WIN32
// The console's own wait sees socket traffic through the main loop's turn.
inline void watchDescriptor(int) {}
inline void unwatchDescriptor(int) {}
#else
void watchDescriptor(int fd);
void unwatchDescriptor(int fd);
#endif
