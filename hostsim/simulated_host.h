// An in-process stand-in for After Effects and Premiere Pro: loads an effect
// module (or takes its two entry points directly), sends it commands the way
// those hosts do, and implements the records, callbacks and suites a module
// of this kind uses. Every command is audited: the host calls it made are
// logged, chosen calls can be made to fail, and what the module acquired
// but did not give back is reported.
//
// Pictures cross this API in one layout only (Picture: A, R, G, B bytes);
// the host converts at the boundary when a Premiere world is B, G, R, A.
//
// What it tolerates: any call sequence from the module, wrong or foreign
// records included (reported as violations, never crashing the host). What
// it refuses: misuse of this API (bad parameter index or type) throws
// std::invalid_argument; a module that cannot be loaded throws
// ModuleLoadError.
//
// Host behaviour a module meets: fill and copy take a null rectangle as the
// whole world and refuse (PF_Err_BAD_CALLBACK_PARAM) empty rectangles or
// ones reaching outside the world; fill's null colour is the all-zero pixel
// (transparent black). new_world makes 8-bit worlds of 1 to 30000 pixels
// each way, cleared only with PF_NewWorldFlag_CLEAR_PIXELS, and refuses
// DEEP_PIXELS. Row padding of the input layer and the output world holds
// 0xA5. get_pixel_data8 gives pixelsP0 when set, else the world's data.
// Worlds and suites the host did not hand out are refused; a check-in of a
// record never checked out is tolerated and noted (the host documents
// check-in only as the partner of a check-out).
//
// Like a real host it keeps its worlds: their storage is reused from frame
// to frame (see world_pool.h), and a world's pixels are written only where
// the host defines them (the input, the output's starting colour, cleared
// worlds, row padding). Checks that cost a pass over the pixels every
// render are HostOptions::pixel_checks.
//
// Callbacks that carry no effect reference (the basic suite,
// get_pixel_data8, GetPixelFormat) find their host through a thread-local
// pointer that is set only while that host runs a command; one host runs one
// command at a time on the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_PluginData.h"
#include "PrSDKPixelFormat.h"
#include "SPBasic.h"

namespace shardcast::hostsim {

using EffectMainFunction = PF_Err (*)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                      PF_ParamDef* params[], PF_LayerDef* output, void* extra);
using PluginDataEntryFunction = A_Err (*)(PF_PluginDataPtr in_ptr, PF_PluginDataCB callback,
                                          SPBasicSuite* basic_suite, const char* host_name,
                                          const char* host_version);

// The module's two exported functions, found by name in a loaded library or
// handed over directly (an effect linked into the test or fuzzer).
struct EffectEntryPoints {
  EffectMainFunction effect_main = nullptr;
  PluginDataEntryFunction plugin_data_entry = nullptr;
};

struct ModuleLoadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A module opened by path (dlopen / LoadLibrary), closed on destruction.
class ModuleLibrary {
 public:
  // Throws ModuleLoadError when the file cannot be opened or does not export
  // both EffectMain and PluginDataEntryFunction.
  explicit ModuleLibrary(const std::filesystem::path& path);
  ModuleLibrary(ModuleLibrary&& other) noexcept;
  ModuleLibrary& operator=(ModuleLibrary&& other) noexcept;
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;
  ~ModuleLibrary();

  EffectEntryPoints entry_points() const { return entry_points_; }

 private:
  void* handle_ = nullptr;
  EffectEntryPoints entry_points_;
};

enum class HostMode {
  AfterEffects,  // appl_id 'FXTC'; 8-bit worlds are A, R, G, B
  PremierePro,   // appl_id 'PrMr'; B, G, R, A once the module asked for it
};

// A picture as this API takes and gives it: rows back to back, pixel (x, y)
// at byte (y * width + x) * 4, bytes alpha, red, green, blue.
struct Picture {
  A_long width = 0;
  A_long height = 0;
  std::vector<std::uint8_t> argb;

  static Picture filled(A_long width, A_long height, PF_Pixel colour);
  // From / to rows of R, G, B, A bytes (the usual image-file order).
  static Picture from_rgba(A_long width, A_long height, const std::uint8_t* rgba);
  std::vector<std::uint8_t> to_rgba() const;

  PF_Pixel at(A_long x, A_long y) const;
  void set(A_long x, A_long y, PF_Pixel pixel);
  bool operator==(const Picture&) const = default;
};

// The byte order of a caller's rows: the API's pictures, or image files.
enum class PixelOrder { Argb, Rgba };

// A frame in memory the caller keeps: rows of width * 4 bytes, back to
// back. `output` may be `input` itself.
struct FrameRows {
  A_long width = 0;
  A_long height = 0;
  PixelOrder order = PixelOrder::Rgba;
  const std::uint8_t* input = nullptr;
  std::uint8_t* output = nullptr;
};

// Every host function a module can reach, for the call log and for fault
// injection.
enum class HostCall {
  RegistrationCallback,  // the PF_PluginDataCB given to PluginDataEntryFunction
  CheckoutParam,
  CheckinParam,
  AddParam,
  Abort,
  Progress,
  Copy,
  Fill,
  NewWorld,
  DisposeWorld,
  GetPixelData8,
  AnsiSprintf,        // utils->ansi.sprintf
  AcquireSuite,       // basic suite
  ReleaseSuite,       // basic suite
  AllocateBlock,      // basic suite
  FreeBlock,          // basic suite
  SuiteSprintf,       // "PF ANSI Suite" sprintf
  UpdateParamUi,      // "PF Param Utils Suite" PF_UpdateParamUI
  ClearPixelFormats,  // "PF Pixel Format Suite" ClearSupportedPixelFormats
  AddPixelFormat,     // "PF Pixel Format Suite" AddSupportedPixelFormat
  GetPixelFormat,     // "PF Pixel Format Suite" GetPixelFormat
  Unsupported,        // any other slot of the host's tables
};

std::string_view host_call_name(HostCall call);

// One host call as the module made it.
struct CallRecord {
  HostCall call = HostCall::Unsupported;
  A_long param_index = -1;  // checkout/checkin/add_param/update_param_ui
  A_long what_time = 0;     // checkout_param
  A_long time_step = 0;     // checkout_param
  A_u_long time_scale = 0;  // checkout_param
  std::string suite_name;   // acquire_suite/release_suite
  A_long suite_version = 0;
  const PF_ParamDef* record = nullptr;  // checkout/checkin: the record passed
  std::optional<PF_Pixel> colour{};     // fill: the colour passed, if any
  bool whole_world = false;             // fill: no rectangle passed
  PF_NewWorldFlags world_flags = 0;     // new_world
  PF_Err result = PF_Err_NONE;          // what the host answered (SPErr for suites)
  bool injected = false;                // the failure was injected
};

// A rule that makes matching host calls fail with `error`. Every field that
// is set must match; a rule with nothing set matches every call.
struct FailRule {
  std::optional<HostCall> call{};
  std::optional<std::size_t> position{};    // index in the command's call log
  std::optional<A_long> param_index{};      // for parameter calls
  std::optional<std::string> suite_name{};  // for acquire_suite / release_suite
  PF_Err error = PF_Err_INTERNAL_STRUCT_DAMAGED;
};

// Faults applied to every command until changed. A failed acquisition
// (checkout_param, new_world, acquire_suite, allocate_block) hands out
// nothing; a failed release (checkin_param, dispose_world, release_suite,
// free_block) still releases and only reports the error, so a sweep over
// every call checks the module's error paths without faking leaks. A failed
// sprintf writes nothing and returns -1.
struct FaultPlan {
  std::vector<FailRule> fail;
  std::vector<std::string> unavailable_suites;  // AcquireSuite answers kSPSuiteNotFoundError
  bool no_pixel_address = false;                // get_pixel_data8 succeeds but yields null
  bool no_basic_suite = false;                  // pica_basicP is null
};

struct HostOptions {
  HostMode mode = HostMode::AfterEffects;
  // Checks of the module that cost a pass over the pixels of every render:
  // the input layer is compared with a copy taken before the command, and
  // worlds made without PF_NewWorldFlag_CLEAR_PIXELS are filled with 0xCD,
  // so that a module relying on their contents is noticed. On for tests and
  // fuzzing; a tool turns them off, and uncleared worlds then hold what
  // their storage last held.
  bool pixel_checks = true;
  // Bytes added to every row of the input layer and the output world before
  // rounding rowbytes up to a multiple of 64, as real hosts may pad.
  A_long layer_row_padding = 64;
  // The same for worlds the module creates with new_world.
  A_long new_world_row_padding = 0;
  // What the output world holds before the module writes it.
  PF_Pixel output_fill = {0, 0, 0, 0};
  // Returned by the registration callback.
  A_Err registration_result = A_Err_NONE;
  // out_flags and out_flags2 as the host presets them in every command.
  PF_OutFlags initial_out_flags = 0;
  PF_OutFlags2 initial_out_flags2 = 0;
};

// The nine values of one registration callback call.
struct Registration {
  PF_PluginDataPtr host_pointer = nullptr;
  std::string name;
  std::string match_name;
  std::string category;
  std::string entry_point;
  A_long kind = 0;
  A_long api_version_major = 0;
  A_long api_version_minor = 0;
  A_long reserved_info = 0;
};

// A PF_UpdateParamUI call: the index and the record as the module passed it.
struct ParamUiUpdate {
  A_long param_index = 0;
  PF_ParamDef def{};
};

// What one command did.
struct CommandOutcome {
  PF_Err result = PF_Err_NONE;
  PF_OutData out_data{};                // as the module left it
  std::vector<CallRecord> calls;        // every host call, in order
  std::vector<std::string> violations;  // accounting and protocol breaches
  std::vector<std::string> notes;       // tolerated oddities (e.g. stray check-ins)
  Picture output;                       // render of a Picture: the output world, as ARGB

  bool clean() const { return violations.empty(); }
  std::size_t count(HostCall call) const;
};

struct RegistrationOutcome {
  A_Err result = A_Err_NONE;
  std::vector<Registration> callbacks;  // one entry per callback call
  std::vector<CallRecord> calls;
  std::vector<std::string> violations;
};

// The time a render runs at (in_data current_time, time_step, time_scale).
struct FrameTime {
  A_long current_time = 0;
  A_long time_step = 1;
  A_u_long time_scale = 30;
};

// A parameter value that changes over time; given the checkout's time
// arguments, it yields the slider value (a checkbox is on when non-zero).
using ParamCurve = std::function<double(A_long what_time, A_long time_step, A_u_long time_scale)>;

class SimulatedHost {
 public:
  // Drives a module linked into this process.
  explicit SimulatedHost(EffectEntryPoints module, HostOptions options = {});
  // Opens the module at `path` and keeps it open for the host's lifetime.
  explicit SimulatedHost(const std::filesystem::path& path, HostOptions options = {});
  SimulatedHost(SimulatedHost&&) noexcept;
  SimulatedHost& operator=(SimulatedHost&&) noexcept;
  SimulatedHost(const SimulatedHost&) = delete;
  SimulatedHost& operator=(const SimulatedHost&) = delete;
  ~SimulatedHost();

  const HostOptions& options() const;
  FaultPlan& faults();

  // ---- commands ----
  // PluginDataEntryFunction with the host's registration callback.
  RegistrationOutcome register_effect();
  CommandOutcome about();
  CommandOutcome global_setup();
  // The records added become the host's parameter table (index 0 is the
  // input layer, always present).
  CommandOutcome params_setup();
  // Renders `input` as parameter 0 into an output world of the same size,
  // at a frame whose end (current_time + time_step, the layer's
  // total_time) lies on the host's 32-bit clock.
  CommandOutcome render(const Picture& input, FrameTime time = {});
  // The same for a frame the caller keeps: the output world, as the module
  // left it, is written into frame.output whatever the command's result
  // (CommandOutcome::output stays empty). Once the host holds worlds of the
  // frame's size, a render allocates no pixel storage.
  CommandOutcome render(const FrameRows& frame, FrameTime time = {});
  // Value changes the module makes to params[] here are applied to the
  // host's table.
  CommandOutcome user_changed_param(A_long index);
  // Value changes made here are ignored, as the host ignores them (noted).
  CommandOutcome update_params_ui();
  // Any command with no special handling; params[] carries the table and no
  // layer, output is null.
  CommandOutcome send(PF_Cmd command, void* extra = nullptr);
  // Sets a value and, if the parameter carries PF_ParamFlag_SUPERVISE, sends
  // USER_CHANGED_PARAM then UPDATE_PARAMS_UI as After Effects does after a
  // user's edit. Returns the outcomes of the commands sent.
  std::vector<CommandOutcome> user_edit(A_long index, double value);

  // ---- parameter table ----
  // Table size including the input layer (1 before parameter setup).
  A_long parameter_count() const;
  const PF_ParamDef& parameter(A_long index) const;
  // Stores the value exactly as given (ranges are not enforced, so callers
  // can probe values a user could not enter). Throws std::invalid_argument
  // for a wrong index or a parameter of another type.
  void set_slider(A_long index, double value);
  void set_checkbox(A_long index, bool on);
  // Makes the value a function of the checkout time; an empty curve goes
  // back to the constant value.
  void set_curve(A_long index, ParamCurve curve);
  double slider_value(A_long index) const;
  bool checkbox_value(A_long index) const;

  // ---- what the module told the host ----
  A_long registered_num_params() const;  // out_data num_params after setup
  const std::vector<PrPixelFormat>& announced_pixel_formats() const;
  bool pixel_formats_cleared() const;
  const std::vector<ParamUiUpdate>& param_ui_updates() const;  // all commands
  // The format of the worlds the host hands out now: ARGB, or in Premiere
  // the first format the module announced, when it is BGRA or ARGB.
  PrPixelFormat world_format() const;

  struct Core;

 private:
  SimulatedHost(ModuleLibrary library, HostOptions options);

  std::unique_ptr<Core> core_;
};

// ---- worlds: the host's pixel operations, exposed for tests ----
//
// rowbytes of a world of width w is the smallest multiple of 64 that is at
// least w * 4 + padding.
A_long padded_rowbytes(A_long width, A_long padding);

// Resampling used by copy() when the two rectangles differ in size. Every
// channel, alpha included, is interpolated the same way (the host's 8-bit
// pixels are premultiplied), with integer arithmetic only. For a source
// rectangle of sw x sh pixels and a destination rectangle of dw x dh, the
// destination pixel (x, y) (relative to its rectangle) samples the source at
//   fx = ((2x + 1) * sw * 65536) div (2 * dw) - 32768    (16.16 fixed point)
//   fy = ((2y + 1) * sh * 65536) div (2 * dh) - 32768
// with fx, fy raised to 0 when negative. x0 = fx >> 16, ax = fx & 0xFFFF,
// x1 = min(x0 + 1, sw - 1); if x0 >= sw - 1 then x0 = x1 = sw - 1 and ax = 0
// (the same for y). Each channel then is
//   ((65536 - ax) * (65536 - ay) * p(x0, y0) + ax * (65536 - ay) * p(x1, y0)
//    + (65536 - ax) * ay * p(x0, y1) + ax * ay * p(x1, y1) + 2^31) >> 32
// in 64-bit unsigned arithmetic. Equal sizes copy the bytes unchanged.
std::uint8_t resample_channel(const std::uint8_t* pixels, A_long rowbytes, A_long sw, A_long sh,
                              A_long dw, A_long dh, A_long x, A_long y, int channel);

}  // namespace shardcast::hostsim
