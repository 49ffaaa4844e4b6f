// The client code wayland-scanner makes for our protocols, compiled here as C++. Each interface is
// declared extern "C" by its header first, so that the definitions below keep the external C
// linkage the generated requests and libwayland look them up by. The generated definitions ask
// for hidden visibility, which a C++ compiler ignores on a variable declared before: said once
// here rather than by every protocol.
#pragma GCC diagnostic ignored "-Wattributes"

#include "fake-input-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include "fake-input-protocol.c"
#include "virtual-keyboard-unstable-v1-protocol.c"
#include "wlr-data-control-unstable-v1-protocol.c"
