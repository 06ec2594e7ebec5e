// The simulated host's inner state, shared by its command driver
// (simulated_host.cpp) and its callbacks (host_callbacks.cpp): the function
// tables handed to the module, the parameter table, and the bookkeeping of
// the command that is running.
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

namespace shardcast::hostsim {

// Pixel storage of one world. The host owns the input layer and the output
// world of a render; the module owns what it made with new_world.
struct HostWorld {
  std::unique_ptr<std::uint8_t[]> bytes;
  WorldView view;
  bool made_by_effect = false;

  std::size_t size() const {
    return static_cast<std::size_t>(view.rowbytes) * static_cast<std::size_t>(view.height);
  }
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

  std::unique_ptr<CommandState> command;  // set while a command runs

  PF_ProgPtr effect_ref() { return reinterpret_cast<PF_ProgPtr>(this); }
  PrPixelFormat world_format() const;
  // The record of `index` with its value at the given time.
  PF_ParamDef value_at(A_long index, A_long what_time, A_long time_step, A_u_long time_scale) const;
  bool suite_available(const std::string& name, A_long version) const;
  const void* suite_table(const std::string& name, A_long version);
  // Adds a world to the running command; pixels are left as `junk`.
  HostWorld& create_world(A_long width, A_long height, A_long padding, bool made_by_effect,
                          std::uint8_t junk);
  HostWorld* find_world(const PF_EffectWorld* world);
};

// Fills the function tables of `core` with the host's callbacks.
void install_callbacks(SimulatedHost::Core& core);

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

// The PF_PluginDataCB the host hands to PluginDataEntryFunction.
A_Err registration_callback(PF_PluginDataPtr inPtr, const A_u_char* inNamePtr,
                            const A_u_char* inMatchNamePtr, const A_u_char* inCategoryPtr,
                            const A_u_char* inEntryPointNamePtr, A_long inkind,
                            A_long inApiVersionMajor, A_long inApiVersionMinor,
                            A_long inReservedInfo);

}  // namespace shardcast::hostsim
