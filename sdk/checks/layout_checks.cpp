// Compiles the layout checks into every target that uses the host-interface
// headers (see ../CMakeLists.txt); this file defines nothing. It lives apart
// from the headers so that, with the host's own SDK selected, the quoted
// includes find the SDK's headers rather than ours.
#include "layout_checks.h"
