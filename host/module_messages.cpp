// The effect module writes the decoder's lines to the process's standard
// output, where the host leaves them.
#include "host/effect_messages.h"

namespace shardcast {

MessageSink effect_messages() { return MessageSink::standard_output(); }

}  // namespace shardcast
