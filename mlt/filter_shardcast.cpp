// libmltshardcast.so: the effect as a native MLT 7 filter, service
// "shardcast", for melt, Kdenlive and Shotcut. Its properties are the
// effect's parameters in the effect's own units, named after the tool's
// options with '_' for '-' (broken_bytes, qtl_position); every one takes
// MLT's keys, read as the tool reads its keys (keyed_values.h). A frame goes
// through the same effect session as the frei0r filter (effect_session.h),
// so it is the frame `shardcast render` makes with the same values.
//
// MLT renders several frames at once on different threads (Shotcut does).
// Each render takes an effect session of its own from the filter's pool, a
// session made when none is free, and gives it back when done: only the
// pool's list is locked, for a moment, and no two renders ever share a
// session, a value or a buffer. The pool goes with the filter.
//
// Tolerated: any frame size the host accepts, values outside the ranges
// (the effect renders the nearest end's frame), missing properties (the
// effect's defaults). A frame the effect cannot render, for want of memory
// or a refusal of the host, passes through unchanged: MLT has no way to
// hear of the failure. No exception leaves this file.
//
// The decoder's lines go nowhere unless SHARDCAST_MLT_MESSAGES is "stderr"
// (or "stdout"; inside melt standard output may carry the video).
#pragma GCC visibility push(default)
extern "C" {
#include <framework/mlt.h>
}
#pragma GCC visibility pop

#include <climits>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "describe/parameter_texts.h"
#include "frei0r/effect_session.h"
#include "mlt/keyed_values.h"

namespace shardcast::mlt {
namespace {

using filters::EffectSession;

// Sessions not rendering now; renders take one and give it back.
struct SessionPool {
  std::mutex lock;
  std::vector<std::unique_ptr<EffectSession>> idle;

  std::unique_ptr<EffectSession> take() {
    {
      const std::lock_guard<std::mutex> guard(lock);
      if (!idle.empty()) {
        std::unique_ptr<EffectSession> session = std::move(idle.back());
        idle.pop_back();
        return session;
      }
    }
    return EffectSession::open();
  }

  void give_back(std::unique_ptr<EffectSession> session) {
    const std::lock_guard<std::mutex> guard(lock);
    idle.push_back(std::move(session));
  }
};

// The numeric locale the filter's numbers are written in, for one render.
struct NumericLocale {
  locale_t locale = nullptr;
  explicit NumericLocale(const char* name) {
    locale = newlocale(LC_NUMERIC_MASK, name != nullptr ? name : "C", nullptr);
    if (locale == nullptr) {
      locale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    }
  }
  ~NumericLocale() {
    if (locale != nullptr) {
      freelocale(locale);
    }
  }
  NumericLocale(const NumericLocale&) = delete;
  NumericLocale& operator=(const NumericLocale&) = delete;
};

// Every value at the filter's frame, the effect's defaults where a property
// is missing.
filters::EffectValues values_at(mlt_filter filter, const EffectSession& session, const FrameClock& clock) {
  const mlt_properties properties = MLT_FILTER_PROPERTIES(filter);
  filters::EffectValues values{};
  for (std::size_t slot = 0; slot < value_param_count; ++slot) {
    const ParamRow& row = *value_params[slot];
    const char* text = mlt_properties_get(properties, describe::mlt_name(row).c_str());
    values[slot] = text == nullptr ? session.registered[slot].default_value
                                   : value_at({text, row.kind == ParamKind::Checkbox}, clock);
  }
  return values;
}

// The host's time of the frame, as the tool gives it: frame x time_step in
// units of 1/time_scale seconds, one frame being time_step / time_scale.
hostsim::FrameTime host_time(mlt_profile profile, int position) {
  hostsim::FrameTime time;
  if (profile == nullptr || profile->frame_rate_num <= 0 || profile->frame_rate_den <= 0 || position < 0) {
    return time;
  }
  const long long current = static_cast<long long>(position) * profile->frame_rate_den;
  if (current <= std::numeric_limits<A_long>::max()) {
    time = {static_cast<A_long>(current), static_cast<A_long>(profile->frame_rate_den),
            static_cast<A_u_long>(profile->frame_rate_num)};
  }
  return time;
}

bool render(mlt_filter filter, mlt_frame frame, std::uint8_t* image, int width, int height) {
  auto* pool = static_cast<SessionPool*>(filter->child);
  std::unique_ptr<EffectSession> session = pool->take();
  if (session == nullptr) {
    return false;
  }
  const mlt_profile profile = mlt_service_profile(MLT_FILTER_SERVICE(filter));
  const NumericLocale numeric(mlt_properties_get_lcnumeric(MLT_FILTER_PROPERTIES(filter)));
  FrameClock clock;
  clock.position = static_cast<int>(mlt_filter_get_position(filter, frame));
  clock.length = static_cast<int>(mlt_filter_get_length2(filter, frame));
  clock.fps = profile != nullptr ? mlt_profile_fps(profile) : 25.0;
  clock.numeric_locale = numeric.locale;
  const filters::EffectValues values = values_at(filter, *session, clock);
  const bool rendered = session->render(values, width, height, image, image, host_time(profile, clock.position));
  pool->give_back(std::move(session));
  return rendered;
}

int get_image(mlt_frame frame, uint8_t** image, mlt_image_format* format, int* width, int* height, int) {
  const auto filter = static_cast<mlt_filter>(mlt_frame_pop_service(frame));
  *format = mlt_image_rgba;
  const int error = mlt_frame_get_image(frame, image, format, width, height, 1);
  if (error != 0 || *format != mlt_image_rgba || *image == nullptr || *width <= 0 || *height <= 0) {
    return error;
  }
  try {
    render(filter, frame, *image, *width, *height);
  } catch (...) {
    // The frame stays as it came (in-place renders write it only on success).
  }
  return 0;
}

mlt_frame process(mlt_filter filter, mlt_frame frame) {
  mlt_frame_push_service(frame, filter);
  mlt_frame_push_get_image(frame, get_image);
  return frame;
}

void close_filter(mlt_filter filter) {
  delete static_cast<SessionPool*>(filter->child);
  filter->child = nullptr;
  filter->close = nullptr;
  filter->parent.close = nullptr;
  mlt_service_close(&filter->parent);
}

mlt_filter make_filter() {
  auto pool = std::make_unique<SessionPool>();
  // One session up front: a module that cannot set the effect up makes no
  // filter at all, so MLT reports it where the filter is asked for.
  std::unique_ptr<EffectSession> first = EffectSession::open();
  const mlt_filter filter = mlt_filter_new();
  if (first == nullptr || filter == nullptr) {
    mlt_filter_close(filter);
    return nullptr;
  }
  pool->give_back(std::move(first));
  const mlt_properties properties = MLT_FILTER_PROPERTIES(filter);
  for (const ParamRow* row : value_params) {
    const std::string text =
        row->kind == ParamKind::Checkbox ? (row->dephault != 0.0f ? "1" : "0") : describe::number_text(row->dephault);
    mlt_properties_set(properties, describe::mlt_name(*row).c_str(), text.c_str());
  }
  filter->child = pool.release();
  filter->process = process;
  filter->close = close_filter;
  return filter;
}

mlt_filter filter_init(mlt_profile, mlt_service_type, const char*, char*) {
  try {
    return make_filter();
  } catch (...) {
    return nullptr;
  }
}

// The service's description, installed beside MLT's own.
mlt_properties metadata(mlt_service_type, const char*, void* file_name) {
  char path[PATH_MAX];
  const int written = std::snprintf(path, sizeof path, "%s/shardcast/%s", mlt_environment("MLT_DATA"),
                                    static_cast<const char*>(file_name));
  return written > 0 && written < static_cast<int>(sizeof path) ? mlt_properties_parse_yaml(path) : nullptr;
}

}  // namespace
}  // namespace shardcast::mlt

extern "C" __attribute__((visibility("default"))) void mlt_register(mlt_repository repository) {
  MLT_REGISTER(mlt_service_filter_type, "shardcast", shardcast::mlt::filter_init);
  MLT_REGISTER_METADATA(mlt_service_filter_type, "shardcast", shardcast::mlt::metadata,
                        const_cast<char*>("filter_shardcast.yml"));
}
