// Supervision of the glitch window: after every change of "start of glitch"
// or "end of glitch" the end is rewritten as a whole number strictly after
// the start (both truncated toward zero). The rule runs whichever of the two
// changed, and on every call, also when nothing needed to move: the end is
// always stored back, flagged as changed and the UI refreshed.
// Without the Param Utils suite nothing is touched and the host is told.
#include "AE_EffectSuites.h"
#include "decoder/numeric.h"
#include "host/commands.h"
#include "host/params.h"
#include "host/suites.h"

namespace shardcast {

PF_Err supervise_glitch_range(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], void* /*extra*/) {
  ScopedSuite suite(in_data, out_data, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);

  const std::int32_t start = truncate_to_int32(params[PARAM_GLITCH_START]->u.fs_d.value);
  const std::int32_t end = truncate_to_int32(params[PARAM_GLITCH_END]->u.fs_d.value);
  // start + 1 cannot overflow for a slider that stops at 99.9, but a host
  // value is outside data: wrap rather than overflow.
  const std::int32_t new_end = start < end ? end : wrapping_add(start, 1);

  PF_ParamDef copy = *params[PARAM_GLITCH_END];
  copy.uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
  copy.u.fs_d.value = static_cast<PF_FpLong>(new_end);
  *params[PARAM_GLITCH_END] = copy;

  suite.get<PF_ParamUtilsSuite3>()->PF_UpdateParamUI(in_data->effect_ref, PARAM_GLITCH_END, &copy);

  if (out_data != nullptr) {
    out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
  }
  return PF_Err_NONE;
}

}  // namespace shardcast
