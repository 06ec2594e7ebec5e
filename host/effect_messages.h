// Where the decoder's lines go while the effect renders. The effect leaves
// that to the program it is linked into: every program that links it
// defines this function once, in one small source file of its own (the
// module: standard output; the frei0r filter: where an environment variable
// says; the fuzzer: nowhere). The render asks once per frame.
#pragma once

#include "decoder/decoder.h"

namespace shardcast {

MessageSink effect_messages();

}  // namespace shardcast
