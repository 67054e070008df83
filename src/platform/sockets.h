// Stand-ins for the Windows Sockets 1.1 names over BSD sockets.
#pragma once

typedef int SOCKET;
#define INVALID_SOCKET (-1)
