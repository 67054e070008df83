// Descriptors whose input ends the idle Sleep early (the open sockets).
#pragma once

void watchDescriptor(int fd);
void unwatchDescriptor(int fd);
