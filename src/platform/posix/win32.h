// The Win32 names over a Unix terminal and BSD sockets: small stand-ins of
// our own, each written from what the calling code expects of the real one.
#pragma once

#include "console.h"
#include "runtime.h"
#include "sockets.h"
