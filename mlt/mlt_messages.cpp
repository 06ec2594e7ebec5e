// Inside melt standard output may carry the video, so the MLT filter's
// decoder lines go nowhere unless SHARDCAST_MLT_MESSAGES says "stderr" (or
// "stdout"). The variable is read for every frame.
#include "host/effect_messages.h"

namespace shardcast {

MessageSink effect_messages() { return MessageSink::from_environment("SHARDCAST_MLT_MESSAGES"); }

}  // namespace shardcast
