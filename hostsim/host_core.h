// The simulated host's inner state, shared by its command driver
// (simulated_host.cpp, render_worlds.cpp) and its callbacks (the
// *_callbacks.cpp files): the function tables handed to the module, the
// parameter table, the world storage kept between commands, and the
// bookkeeping of the command that is running.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "PrSDKAESupport.h"
#include "hostsim/simulated_host.h"
#include "hostsim/world_pixels.h"
#include "hostsim/world_pool.h"

namespace shardcast::hostsim {

// Written into row padding, and with pixel checks into uncleared worlds, so
// that a module reading or writing those bytes is noticed.
constexpr std::uint8_t padding_byte = 0xA5;
constexpr std::uint8_t uncleared_byte = 0xCD;

// One live world and its storage. The host owns the input layer and the
// output world of a render; the module owns what it made with new_world.
struct HostWorld {
  PixelBlock storage;
  WorldView view;
  bool made_by_effect = false;

  std::size_t size() const { return storage.size; }
};

// The frame of a render as the command driver takes it: the caller's rows
// and their byte order; without output rows the result becomes a Picture.
struct RenderRequest {
  A_long width = 0;
  A_long height = 0;
  ChannelOrder order = argb_order;
  const std::uint8_t* input = nullptr;
  std::uint8_t* output = nullptr;
};

// Everything that lives for one command.
struct CommandState {
  PF_Cmd command = 0;
  PF_InData in_data{};
  PF_OutData out_data{};
  std::vector<PF_ParamDef> params;  // the records params[] points at
  std::vector<PF_ParamDef*> param_pointers;
  PF_LayerDef output{};
  PF_LayerDef layer{};
  bool has_layer = false;
  std::map<const std::uint8_t*, HostWorld> worlds;  // live worlds by first byte
  // The render's own worlds and, with pixel checks, the input as handed over.
  const std::uint8_t* input_world = nullptr;
  const std::uint8_t* output_world = nullptr;
  std::vector<std::uint8_t> input_before;
  std::map<const PF_ParamDef*, A_long> checked_out;
  std::vector<std::pair<std::string, A_long>> suites;  // acquired, not yet released
  std::set<void*> blocks;
  std::vector<CallRecord> calls;
  std::vector<std::string> violations;
  std::vector<std::string> notes;
  std::vector<Registration> registrations;
};

struct SimulatedHost::Core {
  EffectEntryPoints module;
  std::optional<ModuleLibrary> library;
  HostOptions options;
  FaultPlan faults;

  SPBasicSuite basic_suite{};
  PF_InteractCallbacks interact{};
  PF_UtilCallbacks utils{};
  PF_ANSICallbacksSuite1 ansi_suite{};
  PF_ParamUtilsSuite3 param_utils_suite{};
  PF_PixelFormatSuite1 pixel_format_suite{};

  std::vector<PF_ParamDef> table;  // index 0 is the input layer
  std::vector<ParamCurve> curves;
  std::deque<std::string> checkbox_texts;  // host copies of checkbox labels
  A_long registered_num_params = 0;
  std::vector<PrPixelFormat> announced_formats;
  bool formats_cleared = false;
  std::vector<ParamUiUpdate> ui_updates;
  WorldPool pool;  // storage of worlds no command holds

  std::unique_ptr<CommandState> command;  // set while a command runs

  PF_ProgPtr effect_ref() { return reinterpret_cast<PF_ProgPtr>(this); }
  PrPixelFormat world_format() const;
  // The record of `index` with its value at the given time.
  PF_ParamDef value_at(A_long index, A_long what_time, A_long time_step, A_u_long time_scale) const;
  bool suite_available(const std::string& name, A_long version) const;
  const void* suite_table(const std::string& name, A_long version);
  // Adds a world to the running command, with storage from the pool: its
  // bytes are whatever they were; the caller defines what it promises.
  HostWorld& create_world(A_long width, A_long height, A_long padding, bool made_by_effect);
  HostWorld* find_world(const PF_EffectWorld* world);
  // Ends a live world, its storage going back to the pool.
  void release_world(const std::uint8_t* data);
  // Ends every world of the running command (after its audit).
  void release_all_worlds();
};

// The running command's host while a table callback runs, else null.
SimulatedHost::Core* active_core();

// Fill the function tables of `core` with the host's callbacks, one family
// per file; install_callbacks() runs them all.
void install_callbacks(SimulatedHost::Core& core);
void install_interact_callbacks(PF_InteractCallbacks& table);
void install_world_callbacks(PF_UtilCallbacks& table);
void install_ansi_callbacks(PF_ANSICallbacks& table, PF_ANSICallbacksSuite1& suite);
void install_suite_callbacks(SimulatedHost::Core& core);

// Makes `core` the host that table callbacks without an effect reference
// talk to, for the lifetime of the scope.
class ActiveHost {
 public:
  explicit ActiveHost(SimulatedHost::Core& core);
  ActiveHost(const ActiveHost&) = delete;
  ActiveHost& operator=(const ActiveHost&) = delete;
  ~ActiveHost();

 private:
  SimulatedHost::Core* previous_;
};

PF_LayerDef layer_record(const HostWorld& world);

// A render's own worlds (render_worlds.cpp): the input layer holding the
// frame and the output world, taken before the command; after it, the
// checks on them and the output handed to the caller.
void make_render_worlds(SimulatedHost::Core& core, const RenderRequest& render);
void audit_render_worlds(SimulatedHost::Core& core);
void hand_out_output(SimulatedHost::Core& core, const RenderRequest& render,
                     CommandOutcome& outcome);

// The PF_PluginDataCB the host hands to PluginDataEntryFunction.
A_Err registration_callback(PF_PluginDataPtr inPtr, const A_u_char* inNamePtr,
                            const A_u_char* inMatchNamePtr, const A_u_char* inCategoryPtr,
                            const A_u_char* inEntryPointNamePtr, A_long inkind,
                            A_long inApiVersionMajor, A_long inApiVersionMinor,
                            A_long inReservedInfo);

}  // namespace shardcast::hostsim
