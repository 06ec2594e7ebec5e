// The simulated host's command driver: builds PF_InData, PF_OutData and the
// params[] array for each command the way After Effects and Premiere Pro
// fill them, calls the module, applies what the host honours (added
// parameters, supervised value changes), and audits the command: every
// check-out checked in, every created world disposed of once, every suite
// released under its name and version, the input layer left unwritten and
// the output's row padding untouched. An exception escaping the module is
// caught and reported as a violation. A render's own worlds are
// render_worlds.cpp's.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "hostsim/host_core.h"

namespace shardcast::hostsim {
namespace {

const char* host_name(HostMode mode) {
  return mode == HostMode::PremierePro ? "Premiere Pro" : "After Effects";
}

A_long appl_id(HostMode mode) { return mode == HostMode::PremierePro ? 'PrMr' : 'FXTC'; }

bool is_value_parameter(const PF_ParamDef& def) {
  return def.param_type == PF_Param_FLOAT_SLIDER || def.param_type == PF_Param_CHECKBOX;
}

bool same_value(const PF_ParamDef& a, const PF_ParamDef& b) {
  if (a.param_type == PF_Param_FLOAT_SLIDER) {
    return std::memcmp(&a.u.fs_d.value, &b.u.fs_d.value, sizeof(PF_FpLong)) == 0;
  }
  return a.u.bd.value == b.u.bd.value;
}

void copy_value(const PF_ParamDef& from, PF_ParamDef& to) {
  if (to.param_type == PF_Param_FLOAT_SLIDER) {
    to.u.fs_d.value = from.u.fs_d.value;
  } else {
    to.u.bd.value = from.u.bd.value;
  }
}

void audit(SimulatedHost::Core& core, bool render) {
  CommandState& state = *core.command;
  for (const auto& [record, index] : state.checked_out) {
    state.violations.push_back("parameter " + std::to_string(index) +
                               " checked out and never checked in");
  }
  for (const auto& [data, world] : state.worlds) {
    if (world.made_by_effect) {
      state.violations.push_back("world of " + std::to_string(world.view.width) + "x" +
                                 std::to_string(world.view.height) +
                                 " created by new_world and never disposed of");
    }
  }
  for (const auto& [name, version] : state.suites) {
    state.violations.push_back("suite \"" + name + "\" version " + std::to_string(version) +
                               " acquired and never released");
  }
  for (void* block : state.blocks) {
    std::free(block);
    state.violations.push_back("block from AllocateBlock never freed");
  }
  state.blocks.clear();
  if (render) {
    audit_render_worlds(core);
  }
}

// Value changes the module made to params[]: applied after
// USER_CHANGED_PARAM when flagged, ignored (and noted) otherwise.
void take_value_changes(SimulatedHost::Core& core, const std::vector<PF_ParamDef>& before) {
  CommandState& state = *core.command;
  for (std::size_t i = 1; i < core.table.size(); ++i) {
    PF_ParamDef& held = core.table[i];
    const PF_ParamDef& given = state.params[i];
    if (!is_value_parameter(held)) {
      continue;
    }
    // In other commands the union holds the id, not change flags.
    const bool flagged = state.command != PF_Cmd_RENDER &&
                         (given.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) != 0;
    const bool changed = !same_value(given, before[i]);
    if (state.command == PF_Cmd_USER_CHANGED_PARAM && flagged) {
      copy_value(given, held);
      core.curves[i] = nullptr;
    } else if (flagged || changed) {
      state.notes.push_back("value change of parameter " + std::to_string(i) +
                            (flagged ? "" : " without PF_ChangeFlag_CHANGED_VALUE") + " ignored");
    }
  }
}

// Where a frame ends on the host's clock; the sum of two 32-bit times,
// which may not fit one.
std::int64_t frame_end(FrameTime time) { return std::int64_t{time.current_time} + time.time_step; }

// PF_InData as the hosts fill it for every command.
void fill_in_data(SimulatedHost::Core& core, FrameTime time) {
  PF_InData& in = core.command->in_data;
  in.inter = core.interact;
  in.utils = &core.utils;
  in.effect_ref = core.effect_ref();
  in.quality = PF_Quality_HI;
  in.version = {PF_AE_PLUG_IN_VERSION, PF_AE_PLUG_IN_SUBVERS};
  in.appl_id = appl_id(core.options.mode);
  in.num_params = static_cast<A_long>(core.table.size());
  in.current_time = time.current_time;
  in.time_step = time.time_step;
  in.local_time_step = time.time_step;
  // render() has checked that the frame's end fits the host's clock.
  in.total_time = static_cast<A_long>(frame_end(time));
  in.time_scale = time.time_scale;
  in.field = PF_Field_FRAME;
  in.downsample_x = {1, 1};
  in.downsample_y = {1, 1};
  in.pixel_aspect_ratio = {1, 1};
  in.pica_basicP = core.faults.no_basic_suite ? nullptr : &core.basic_suite;
  core.command->out_data.out_flags = core.options.initial_out_flags;
  core.command->out_data.out_flags2 = core.options.initial_out_flags2;
}

// params[]: the input layer at index 0, then every record with its value
// at the command's time. Returns the records as handed over, to tell the
// module's changes by.
std::vector<PF_ParamDef> hand_out_params(SimulatedHost::Core& core, PF_Cmd command,
                                         FrameTime time) {
  CommandState& state = *core.command;
  state.params.resize(core.table.size());
  state.params[0].param_type = PF_Param_LAYER;
  if (state.has_layer) {
    state.params[0].u.ld = state.layer;
  }
  for (std::size_t i = 1; i < core.table.size(); ++i) {
    state.params[i] =
        core.value_at(static_cast<A_long>(i), time.current_time, time.time_step, time.time_scale);
    if (command == PF_Cmd_USER_CHANGED_PARAM || command == PF_Cmd_UPDATE_PARAMS_UI) {
      state.params[i].uu.change_flags = PF_ChangeFlag_NONE;
    }
  }
  for (PF_ParamDef& record : state.params) {
    state.param_pointers.push_back(&record);
  }
  return state.params;
}

// What the host takes from the module after the command.
void take_results(SimulatedHost::Core& core, PF_Cmd command, PF_Err result,
                  const std::vector<PF_ParamDef>& before) {
  CommandState& state = *core.command;
  if (command == PF_Cmd_PARAMS_SETUP && result == PF_Err_NONE) {
    core.registered_num_params = state.out_data.num_params;
    if (state.out_data.num_params != static_cast<A_long>(core.table.size())) {
      state.violations.push_back("num_params is " + std::to_string(state.out_data.num_params) +
                                 " but the table holds " + std::to_string(core.table.size()) +
                                 " records (input layer included)");
    }
  }
  if (command == PF_Cmd_USER_CHANGED_PARAM || command == PF_Cmd_UPDATE_PARAMS_UI ||
      command == PF_Cmd_RENDER) {
    take_value_changes(core, before);
  }
}

// Runs EffectMain; an exception leaving it is a violation.
PF_Err call_effect_main(SimulatedHost::Core& core, PF_Cmd command, void* extra, bool render) {
  CommandState& state = *core.command;
  try {
    return core.module.effect_main(command, &state.in_data, &state.out_data,
                                   state.param_pointers.data(), render ? &state.output : nullptr,
                                   extra);
  } catch (...) {
    state.violations.push_back("an exception left EffectMain");
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

CommandOutcome run_command(SimulatedHost::Core& core, PF_Cmd command, void* extra,
                           const RenderRequest* render, FrameTime time) {
  core.command = std::make_unique<CommandState>();
  CommandState& state = *core.command;
  state.command = command;
  const ActiveHost active(core);

  if (command == PF_Cmd_PARAMS_SETUP) {
    core.table.resize(1);
    core.curves.resize(1);
    core.checkbox_texts.clear();
  }
  fill_in_data(core, time);
  if (render != nullptr) {
    make_render_worlds(core, *render);
  }
  const std::vector<PF_ParamDef> before = hand_out_params(core, command, time);
  const PF_Err result = call_effect_main(core, command, extra, render != nullptr);
  take_results(core, command, result, before);
  audit(core, render != nullptr);

  CommandOutcome outcome;
  outcome.result = result;
  outcome.out_data = state.out_data;
  if (render != nullptr) {
    hand_out_output(core, *render, outcome);
  }
  outcome.calls = std::move(state.calls);
  outcome.violations = std::move(state.violations);
  outcome.notes = std::move(state.notes);
  core.release_all_worlds();
  core.command.reset();
  return outcome;
}

CommandOutcome render_request(SimulatedHost::Core& core, const RenderRequest& request,
                              FrameTime time) {
  if (request.width < 1 || request.height < 1 || request.width > PF_MAX_WORLD_WIDTH ||
      request.height > PF_MAX_WORLD_HEIGHT) {
    throw std::invalid_argument("render needs a picture of 1 to 30000 pixels each way");
  }
  // A host's layer ends on its 32-bit clock: no frame reaches past it.
  const std::int64_t end = frame_end(time);
  if (end < std::numeric_limits<A_long>::min() || end > std::numeric_limits<A_long>::max()) {
    throw std::invalid_argument("render needs a frame that ends within the host's 32-bit time");
  }
  return run_command(core, PF_Cmd_RENDER, nullptr, &request, time);
}

}  // namespace

PrPixelFormat SimulatedHost::Core::world_format() const {
  if (options.mode == HostMode::PremierePro && !announced_formats.empty() &&
      is_supported_world_format(announced_formats.front())) {
    return announced_formats.front();
  }
  return PrPixelFormat_ARGB_4444_8u;
}

PF_ParamDef SimulatedHost::Core::value_at(A_long index, A_long what_time, A_long time_step,
                                          A_u_long time_scale) const {
  PF_ParamDef record = table.at(static_cast<std::size_t>(index));
  const ParamCurve& curve = curves.at(static_cast<std::size_t>(index));
  if (curve) {
    const double value = curve(what_time, time_step, time_scale);
    if (record.param_type == PF_Param_FLOAT_SLIDER) {
      record.u.fs_d.value = value;
    } else if (record.param_type == PF_Param_CHECKBOX) {
      record.u.bd.value = value != 0.0 ? 1 : 0;
    }
  }
  return record;
}

const void* SimulatedHost::Core::suite_table(const std::string& name, A_long version) {
  if (std::find(faults.unavailable_suites.begin(), faults.unavailable_suites.end(), name) !=
      faults.unavailable_suites.end()) {
    return nullptr;
  }
  if (name == kPFANSISuite && version == kPFANSISuiteVersion1) {
    return &ansi_suite;
  }
  if (name == kPFParamUtilsSuite && version == kPFParamUtilsSuiteVersion3) {
    return &param_utils_suite;
  }
  if (name == kPFPixelFormatSuite && version == kPFPixelFormatSuiteVersion1 &&
      options.mode == HostMode::PremierePro) {
    return &pixel_format_suite;
  }
  return nullptr;
}

std::size_t CommandOutcome::count(HostCall call) const {
  return static_cast<std::size_t>(
      std::count_if(calls.begin(), calls.end(),
                    [&](const CallRecord& r) { return r.call == call; }));
}

SimulatedHost::SimulatedHost(EffectEntryPoints module, HostOptions options)
    : core_(std::make_unique<Core>()) {
  if (module.effect_main == nullptr) {
    throw std::invalid_argument("the simulated host needs an EffectMain");
  }
  core_->module = module;
  core_->options = options;
  install_callbacks(*core_);
  PF_ParamDef layer{};
  layer.param_type = PF_Param_LAYER;
  core_->table.push_back(layer);
  core_->curves.emplace_back();
}

SimulatedHost::SimulatedHost(const std::filesystem::path& path, HostOptions options)
    : SimulatedHost(ModuleLibrary(path), options) {}

SimulatedHost::SimulatedHost(ModuleLibrary library, HostOptions options)
    : SimulatedHost(library.entry_points(), options) {
  core_->library.emplace(std::move(library));
}

SimulatedHost::SimulatedHost(SimulatedHost&&) noexcept = default;
SimulatedHost& SimulatedHost::operator=(SimulatedHost&&) noexcept = default;
SimulatedHost::~SimulatedHost() = default;

const HostOptions& SimulatedHost::options() const { return core_->options; }

FaultPlan& SimulatedHost::faults() { return core_->faults; }

RegistrationOutcome SimulatedHost::register_effect() {
  if (core_->module.plugin_data_entry == nullptr) {
    throw std::invalid_argument("the module has no PluginDataEntryFunction");
  }
  Core& core = *core_;
  core.command = std::make_unique<CommandState>();
  const ActiveHost active(core);
  RegistrationOutcome outcome;
  try {
    outcome.result =
        core.module.plugin_data_entry(reinterpret_cast<PF_PluginDataPtr>(&core),
                                      registration_callback,
                                      core.faults.no_basic_suite ? nullptr : &core.basic_suite,
                                      host_name(core.options.mode), "23.5");
  } catch (...) {
    core.command->violations.push_back("an exception left PluginDataEntryFunction");
    outcome.result = A_Err_GENERIC;
  }
  audit(core, false);
  outcome.callbacks = std::move(core.command->registrations);
  outcome.calls = std::move(core.command->calls);
  outcome.violations = std::move(core.command->violations);
  core.command.reset();
  return outcome;
}

CommandOutcome SimulatedHost::about() { return send(PF_Cmd_ABOUT); }

CommandOutcome SimulatedHost::global_setup() { return send(PF_Cmd_GLOBAL_SETUP); }

CommandOutcome SimulatedHost::params_setup() { return send(PF_Cmd_PARAMS_SETUP); }

CommandOutcome SimulatedHost::render(const Picture& input, FrameTime time) {
  if (input.argb.size() != static_cast<std::size_t>(input.width) * input.height * 4) {
    throw std::invalid_argument("render needs a picture whose pixels match its size");
  }
  RenderRequest request{input.width, input.height, argb_order, input.argb.data(), nullptr};
  return render_request(*core_, request, time);
}

CommandOutcome SimulatedHost::render(const FrameRows& frame, FrameTime time) {
  if (frame.input == nullptr || frame.output == nullptr) {
    throw std::invalid_argument("render needs input and output rows");
  }
  const ChannelOrder order = frame.order == PixelOrder::Rgba ? rgba_order : argb_order;
  RenderRequest request{frame.width, frame.height, order, frame.input, frame.output};
  return render_request(*core_, request, time);
}

CommandOutcome SimulatedHost::user_changed_param(A_long index) {
  parameter(index);
  PF_UserChangedParamExtra extra{index};
  return run_command(*core_, PF_Cmd_USER_CHANGED_PARAM, &extra, nullptr, {});
}

CommandOutcome SimulatedHost::update_params_ui() {
  return run_command(*core_, PF_Cmd_UPDATE_PARAMS_UI, nullptr, nullptr, {});
}

CommandOutcome SimulatedHost::send(PF_Cmd command, void* extra) {
  return run_command(*core_, command, extra, nullptr, {});
}

std::vector<CommandOutcome> SimulatedHost::user_edit(A_long index, double value) {
  const PF_ParamDef& def = parameter(index);
  if (def.param_type == PF_Param_CHECKBOX) {
    set_checkbox(index, value != 0.0);
  } else {
    set_slider(index, value);
  }
  std::vector<CommandOutcome> outcomes;
  if ((def.flags & PF_ParamFlag_SUPERVISE) != 0) {
    outcomes.push_back(user_changed_param(index));
    outcomes.push_back(update_params_ui());
  }
  return outcomes;
}

A_long SimulatedHost::parameter_count() const { return static_cast<A_long>(core_->table.size()); }

const PF_ParamDef& SimulatedHost::parameter(A_long index) const {
  if (index < 0 || index >= parameter_count()) {
    throw std::invalid_argument("no parameter " + std::to_string(index));
  }
  return core_->table[static_cast<std::size_t>(index)];
}

void SimulatedHost::set_slider(A_long index, double value) {
  if (index < 1 || parameter(index).param_type != PF_Param_FLOAT_SLIDER) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " is not a float slider");
  }
  core_->table[static_cast<std::size_t>(index)].u.fs_d.value = value;
  core_->curves[static_cast<std::size_t>(index)] = nullptr;
}

void SimulatedHost::set_checkbox(A_long index, bool on) {
  if (index < 1 || parameter(index).param_type != PF_Param_CHECKBOX) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " is not a checkbox");
  }
  core_->table[static_cast<std::size_t>(index)].u.bd.value = on ? 1 : 0;
  core_->curves[static_cast<std::size_t>(index)] = nullptr;
}

void SimulatedHost::set_curve(A_long index, ParamCurve curve) {
  if (index < 1 || !is_value_parameter(parameter(index))) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " carries no value");
  }
  core_->curves[static_cast<std::size_t>(index)] = std::move(curve);
}

double SimulatedHost::slider_value(A_long index) const {
  if (parameter(index).param_type != PF_Param_FLOAT_SLIDER) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " is not a float slider");
  }
  return parameter(index).u.fs_d.value;
}

bool SimulatedHost::checkbox_value(A_long index) const {
  if (parameter(index).param_type != PF_Param_CHECKBOX) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " is not a checkbox");
  }
  return parameter(index).u.bd.value != 0;
}

A_long SimulatedHost::registered_num_params() const { return core_->registered_num_params; }

const std::vector<PrPixelFormat>& SimulatedHost::announced_pixel_formats() const {
  return core_->announced_formats;
}

bool SimulatedHost::pixel_formats_cleared() const { return core_->formats_cleared; }

const std::vector<ParamUiUpdate>& SimulatedHost::param_ui_updates() const {
  return core_->ui_updates;
}

PrPixelFormat SimulatedHost::world_format() const { return core_->world_format(); }

}  // namespace shardcast::hostsim
