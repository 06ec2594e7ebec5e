// The utility callbacks on worlds: new_world and dispose_world, fill, copy
// and get_pixel_data8. Worlds the module makes take their storage from the
// host's pool; their pixels are defined only when the module asks for them
// cleared (with pixel checks on, the others hold 0xCD, so that a module
// relying on them is noticed). Worlds the host did not hand out, or that are
// no longer live, are refused.
#include <cstring>
#include <vector>

#include "hostsim/host_call.h"

namespace shardcast::hostsim {
namespace {

// The host's own rectangle for a world, or the checked one the module gave.
std::optional<PF_Rect> rect_for(const HostWorld& world, const PF_Rect* rect) {
  if (rect == nullptr) {
    return whole_rect(world.view);
  }
  if (!rect_inside(*rect, world.view.width, world.view.height)) {
    return std::nullopt;
  }
  return *rect;
}

PF_Err new_world(PF_ProgPtr effect_ref, A_long width, A_long height, PF_NewWorldFlags flags,
                 PF_EffectWorld* world) {
  CallRecord record = record_of(HostCall::NewWorld);
  record.world_flags = flags;
  return host_call(record, effect_ref, [&](SimulatedHost::Core& core) -> PF_Err {
    if (world == nullptr || width < 1 || height < 1 || width > PF_MAX_WORLD_WIDTH ||
        height > PF_MAX_WORLD_HEIGHT || (flags & PF_NewWorldFlag_DEEP_PIXELS) != 0) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    HostWorld& created = core.create_world(width, height, core.options.new_world_row_padding, true);
    if ((flags & PF_NewWorldFlag_CLEAR_PIXELS) != 0) {
      std::memset(created.view.data, 0, created.size());
    } else if (core.options.pixel_checks) {
      std::memset(created.view.data, uncleared_byte, created.size());
    }
    *world = layer_record(created);
    return PF_Err_NONE;
  });
}

PF_Err dispose_world(PF_ProgPtr effect_ref, PF_EffectWorld* world) {
  return host_call(record_of(HostCall::DisposeWorld), effect_ref,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (world == nullptr) {
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     HostWorld* found = core.find_world(world);
                     if (found == nullptr) {
                       violation(core,
                                 "dispose_world of a world that is not live (never created by "
                                 "new_world, or already disposed)");
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     if (!found->made_by_effect) {
                       violation(core, "dispose_world of a world the host owns");
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     core.release_world(found->view.data);
                     return PF_Err_NONE;
                   });
}

PF_Err fill(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
            PF_EffectWorld* world) {
  CallRecord record = record_of(HostCall::Fill);
  if (color != nullptr) {
    record.colour = *color;
  }
  record.whole_world = dst_rect == nullptr;
  return host_call(record, effect_ref, [&](SimulatedHost::Core& core) -> PF_Err {
    HostWorld* target = world != nullptr ? core.find_world(world) : nullptr;
    if (target == nullptr) {
      violation(core, "fill of a world the host does not know");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const std::optional<PF_Rect> rect = rect_for(*target, dst_rect);
    if (!rect) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    fill_rect(target->view, *rect, color != nullptr ? *color : PF_Pixel{0, 0, 0, 0});
    return PF_Err_NONE;
  });
}

PF_Err copy(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
            PF_Rect* dst_r) {
  return host_call(record_of(HostCall::Copy), effect_ref, [&](SimulatedHost::Core& core) -> PF_Err {
    HostWorld* from = src != nullptr ? core.find_world(src) : nullptr;
    HostWorld* to = dst != nullptr ? core.find_world(dst) : nullptr;
    if (from == nullptr || to == nullptr) {
      violation(core, "copy with a world the host does not know");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const std::optional<PF_Rect> from_rect = rect_for(*from, src_r);
    const std::optional<PF_Rect> to_rect = rect_for(*to, dst_r);
    if (!from_rect || !to_rect) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (from == to) {
      // Read from a snapshot so that overlapping rectangles resample cleanly.
      const std::uint8_t* bytes = from->view.data;
      std::vector<std::uint8_t> snapshot(bytes, bytes + from->size());
      WorldView view = from->view;
      view.data = snapshot.data();
      copy_rect(view, *from_rect, to->view, *to_rect);
    } else {
      copy_rect(from->view, *from_rect, to->view, *to_rect);
    }
    return PF_Err_NONE;
  });
}

PF_Err get_pixel_data8(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel8** pixPP) {
  return host_call(record_of(HostCall::GetPixelData8), std::nullopt,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (pixPP == nullptr || worldP == nullptr) {
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     *pixPP = nullptr;
                     if (core.faults.no_pixel_address ||
                         (worldP->world_flags & PF_WorldFlag_DEEP) != 0) {
                       return PF_Err_NONE;
                     }
                     *pixPP = pixelsP0 != nullptr ? pixelsP0 : worldP->data;
                     return PF_Err_NONE;
                   });
}

}  // namespace

void install_world_callbacks(PF_UtilCallbacks& table) {
  table.copy = copy;
  table.fill = fill;
  table.new_world = new_world;
  table.dispose_world = dispose_world;
  table.get_pixel_data8 = get_pixel_data8;
}

}  // namespace shardcast::hostsim
