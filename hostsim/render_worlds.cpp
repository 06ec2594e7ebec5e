// The worlds of the simulated host: storage taken from the pool and given
// back, and the two worlds a render command brings with it.
//
// The input layer gets the caller's frame, reordered into the world's byte
// order in one pass, and the output world the host's starting colour; row
// padding of both holds 0xA5. After the command the output's padding must
// still hold it, and with pixel checks the input must be as handed over.
// The output world goes to the caller in its byte order, into its own rows
// or into a new Picture. Every world of the command, leaked ones included
// (the audit has named them by then), goes back to the pool at its end.
#include <algorithm>

#include "hostsim/host_core.h"

namespace shardcast::hostsim {

PF_LayerDef layer_record(const HostWorld& world) {
  PF_LayerDef record{};
  record.world_flags = PF_WorldFlag_WRITEABLE;
  record.data = reinterpret_cast<PF_PixelPtr>(world.view.data);
  record.rowbytes = world.view.rowbytes;
  record.width = world.view.width;
  record.height = world.view.height;
  record.extent_hint = {0, 0, world.view.width, world.view.height};
  record.pix_aspect_ratio = {1, 1};
  return record;
}

HostWorld& SimulatedHost::Core::create_world(A_long width, A_long height, A_long padding,
                                             bool made_by_effect) {
  HostWorld world;
  world.view.width = width;
  world.view.height = height;
  world.view.rowbytes = padded_rowbytes(width, padding);
  world.view.format = world_format();
  world.made_by_effect = made_by_effect;
  world.storage =
      pool.take(static_cast<std::size_t>(world.view.rowbytes) * static_cast<std::size_t>(height));
  world.view.data = world.storage.bytes.get();
  const std::uint8_t* key = world.view.data;
  return command->worlds.emplace(key, std::move(world)).first->second;
}

HostWorld* SimulatedHost::Core::find_world(const PF_EffectWorld* world) {
  const auto found = command->worlds.find(reinterpret_cast<const std::uint8_t*>(world->data));
  return found != command->worlds.end() ? &found->second : nullptr;
}

void SimulatedHost::Core::release_world(const std::uint8_t* data) {
  const auto found = command->worlds.find(data);
  if (found != command->worlds.end()) {
    pool.give_back(std::move(found->second.storage));
    command->worlds.erase(found);
  }
}

void SimulatedHost::Core::release_all_worlds() {
  for (auto& [data, world] : command->worlds) {
    pool.give_back(std::move(world.storage));
  }
  command->worlds.clear();
}

void make_render_worlds(SimulatedHost::Core& core, const RenderRequest& render) {
  CommandState& state = *core.command;
  const A_long padding = core.options.layer_row_padding;
  HostWorld& layer = core.create_world(render.width, render.height, padding, false);
  write_rows(layer.view, render.input, render.order);
  fill_row_padding(layer.view, padding_byte);
  state.input_world = layer.view.data;
  if (core.options.pixel_checks) {
    state.input_before.assign(layer.view.data, layer.view.data + layer.size());
  }
  state.layer = layer_record(layer);
  state.has_layer = true;

  HostWorld& output = core.create_world(render.width, render.height, padding, false);
  fill_rect(output.view, whole_rect(output.view), core.options.output_fill);
  fill_row_padding(output.view, padding_byte);
  state.output_world = output.view.data;
  state.output = layer_record(output);

  PF_InData& in = state.in_data;
  in.width = render.width;
  in.height = render.height;
  in.extent_hint = {0, 0, render.width, render.height};
}

void audit_render_worlds(SimulatedHost::Core& core) {
  CommandState& state = *core.command;
  if (core.options.pixel_checks) {
    const std::uint8_t* input = state.worlds.at(state.input_world).view.data;
    if (!std::equal(state.input_before.begin(), state.input_before.end(), input)) {
      state.violations.push_back("the input layer was written");
    }
  }
  if (!row_padding_holds(state.worlds.at(state.output_world).view, padding_byte)) {
    state.violations.push_back("the output world's row padding was written");
  }
}

void hand_out_output(SimulatedHost::Core& core, const RenderRequest& render,
                     CommandOutcome& outcome) {
  const WorldView& world = core.command->worlds.at(core.command->output_world).view;
  if (render.output != nullptr) {
    read_rows(world, render.output, render.order);
    return;
  }
  outcome.output.width = world.width;
  outcome.output.height = world.height;
  outcome.output.argb.resize(static_cast<std::size_t>(world.width) *
                             static_cast<std::size_t>(world.height) * 4);
  read_rows(world, outcome.output.argb.data(), argb_order);
}

}  // namespace shardcast::hostsim
