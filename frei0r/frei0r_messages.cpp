// Inside ffmpeg standard output may carry the video, so the filter's
// decoder lines go nowhere unless SHARDCAST_FREI0R_MESSAGES says "stderr"
// (or "stdout"). The variable is read for every frame.
#include "host/effect_messages.h"

namespace shardcast {

MessageSink effect_messages() { return MessageSink::from_environment("SHARDCAST_FREI0R_MESSAGES"); }

}  // namespace shardcast
