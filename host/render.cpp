// The render command: one frame from parameter values to output pixels.
//
// The parameters are checked out at the frame's time and condensed into a
// GlitchSettings record (a slider value outside its registered range counts
// as the nearest bound, so no value can make a frame's work unbounded); the
// input layer is stretched into a work buffer whose width is padded to a
// multiple of 16 (the height scaled to keep the aspect), glitched and
// filtered there, and copied back at the input's size.
//
// Host calls are chained on one result code: each runs only while the code
// is 0 and stores its result, so the first failure wins. Disposing of the
// work buffer and checking in all 35 parameter records happen on every path
// (RAII), and only fill the code while it is still 0. A failure of the
// pipeline itself is not a host error: the output is simply left as the host
// supplied it.
//
// The pipeline reads rows of exactly width * 4 bytes; a host that pads the
// work buffer's rows has the pipeline run on a packed copy of it.
//
// The pipeline reads pixels as alpha, red, green, blue. Premiere Pro hands
// an effect that announced only 8-bit BGRA worlds in blue, green, red, alpha
// order, so there the work buffer is reordered around the pipeline (in
// place, or while packing it) when the pixel format suite says so. After
// Effects is never touched.
#include <array>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "AE_EffectCB.h"
#include "PrSDKAESupport.h"
#include "decoder/numeric.h"
#include "host/commands.h"
#include "host/effect_messages.h"
#include "host/params.h"
#include "host/suites.h"
#include "pipeline/glitch_settings.h"
#include "pipeline/parameters.h"

namespace shardcast {
namespace {

// The input layer, then the value-carrying parameters in the check-out
// order of the parameter table. Group records are never checked out.
constexpr std::array<ParamIndex, value_param_count + 1> make_checkout_order() {
  std::array<ParamIndex, value_param_count + 1> order{};
  order[0] = PARAM_INPUT;
  for (const ParamRow* row : value_params) {
    order[static_cast<std::size_t>(row->checkout)] = row->index;
  }
  return order;
}
constexpr std::array<ParamIndex, value_param_count + 1> checkout_order = make_checkout_order();

// The 35 parameter records of one render, zeroed, each checked in on
// destruction in ascending order (also those never checked out). A failing
// check-in sets the result only if it is still 0.
class ParamRecords {
 public:
  ParamRecords(PF_InData* in_data, PF_Err& err) : in_data_(in_data), err_(err) {
    std::memset(records_.data(), 0, sizeof(PF_ParamDef) * records_.size());
  }
  ~ParamRecords() {
    for (PF_ParamDef& record : records_) {
      const PF_Err checkin_err = in_data_->inter.checkin_param(in_data_->effect_ref, &record);
      if (err_ == PF_Err_NONE) {
        err_ = checkin_err;
      }
    }
  }
  ParamRecords(const ParamRecords&) = delete;
  ParamRecords& operator=(const ParamRecords&) = delete;

  PF_ParamDef& operator[](ParamIndex index) { return records_[static_cast<std::size_t>(index)]; }

 private:
  PF_InData* in_data_;
  PF_Err& err_;
  std::array<PF_ParamDef, PARAM_COUNT> records_;
};

// The work buffer: created through new_world, disposed of on destruction if
// it was created. A failing disposal sets the result only if it is still 0.
class WorkWorld {
 public:
  WorkWorld(PF_InData* in_data, PF_Err& err) : in_data_(in_data), err_(err) { std::memset(&world_, 0, sizeof world_); }
  ~WorkWorld() {
    if (created_) {
      const PF_Err dispose_err = in_data_->utils->dispose_world(in_data_->effect_ref, &world_);
      if (err_ == PF_Err_NONE) {
        err_ = dispose_err;
      }
    }
  }
  WorkWorld(const WorkWorld&) = delete;
  WorkWorld& operator=(const WorkWorld&) = delete;

  PF_Err create(A_long width, A_long height) {
    const PF_Err err = in_data_->utils->new_world(in_data_->effect_ref, width, height, 0, &world_);
    created_ = err == PF_Err_NONE;
    return err;
  }
  PF_EffectWorld* get() { return &world_; }

 private:
  PF_InData* in_data_;
  PF_Err& err_;
  PF_EffectWorld world_;
  bool created_ = false;
};

// The settings of one frame: the parameter values read off the records,
// each by its parameter's kind (records never checked out are zero), and
// the input layer's size.
GlitchSettings settings_from_records(ParamRecords& records) {
  ParamValues values{};
  for (std::int32_t index = PARAM_INPUT + 1; index < PARAM_COUNT; ++index) {
    const PF_ParamDef& record = records[static_cast<ParamIndex>(index)];
    values[static_cast<std::size_t>(index)] = slider_row(static_cast<ParamIndex>(index)) != nullptr
                                                  ? record.u.fs_d.value
                                                  : static_cast<double>(record.u.bd.value);
  }
  GlitchSettings settings = settings_from_values(values);
  settings.width = records[PARAM_INPUT].u.ld.width;
  settings.height = records[PARAM_INPUT].u.ld.height;
  return settings;
}

// Pads the width to the next multiple of 16 and scales the height in
// proportion, rounding halves away from zero. A width that is already a
// multiple of 16 (or not positive) is kept with its height.
void pad_geometry(GlitchSettings& settings) {
  const std::int32_t width = settings.width;
  if (width % 16 > 0) {
    // Wrapping keeps absurd host widths defined; the host refuses the world.
    const std::int32_t padded = wrapping_mul(width / 16 + 1, 16);
    const double scale = static_cast<double>(padded) / static_cast<double>(width);
    settings.height = round_to_int32(scale * static_cast<double>(settings.height));
    settings.width = padded;
  }
}

// The work buffer as the pipeline reads it: rows of exactly width * 4 bytes
// in A, R, G, B order. When the host pads its rows, a packed copy stands in
// for it; when the host's order is B, G, R, A, the pixels are reordered on
// the way in and again by write_back(), in the same pass as the copy (the
// exchange is its own inverse). The padding is never touched.
class PipelineView {
 public:
  PipelineView(std::uint8_t* pixels, A_long rowbytes, std::int32_t width, std::int32_t height, bool reorder)
      : host_(pixels),
        host_stride_(rowbytes),
        row_bytes_(static_cast<std::size_t>(width) * 4),
        height_(height),
        reorder_(reorder) {
    if (host_ != nullptr && host_stride_ != static_cast<std::ptrdiff_t>(row_bytes_)) {
      packed_.resize(row_bytes_ * static_cast<std::size_t>(height_));
    }
    transfer(host_, host_stride_, this->pixels(), stride());
  }

  std::uint8_t* pixels() { return packed_.empty() ? host_ : packed_.data(); }
  void write_back() { transfer(pixels(), stride(), host_, host_stride_); }

 private:
  std::ptrdiff_t stride() const { return packed_.empty() ? host_stride_ : static_cast<std::ptrdiff_t>(row_bytes_); }

  // Rows from one layout into the other (or the same rows in place),
  // reordered on the way when asked.
  void transfer(const std::uint8_t* from, std::ptrdiff_t from_stride, std::uint8_t* to, std::ptrdiff_t to_stride) {
    if (host_ == nullptr || (from == to && !reorder_)) {
      return;
    }
    for (std::int32_t y = 0; y < height_; ++y) {
      const std::uint8_t* in = from + y * from_stride;
      std::uint8_t* out = to + y * to_stride;
      if (!reorder_) {
        std::memcpy(out, in, row_bytes_);
        continue;
      }
      for (std::size_t i = 0; i < row_bytes_; i += 4) {
        const std::uint8_t alpha_or_blue = in[i];
        const std::uint8_t red_or_green = in[i + 1];
        out[i] = in[i + 3];
        out[i + 1] = in[i + 2];
        out[i + 2] = red_or_green;
        out[i + 3] = alpha_or_blue;
      }
    }
  }

  std::uint8_t* host_;
  std::ptrdiff_t host_stride_;
  std::size_t row_bytes_;
  std::int32_t height_;
  bool reorder_;
  std::vector<std::uint8_t> packed_;
};

// True when Premiere Pro hands the work buffer in B, G, R, A order.
bool work_buffer_is_bgra(const PF_PixelFormatSuite1* formats, PF_EffectWorld* world) {
  if (formats == nullptr || formats->GetPixelFormat == nullptr) {
    return false;
  }
  PrPixelFormat format{};
  return formats->GetPixelFormat(world, &format) == PF_Err_NONE && format == PrPixelFormat_BGRA_4444_8u;
}

// Checks out the value-carrying parameters in their fixed order; the first
// failure ends the sequence and is returned.
PF_Err check_out_values(PF_InData* in_data, ParamRecords& records) {
  for (ParamIndex index : checkout_order) {
    const PF_Err err = in_data->inter.checkout_param(in_data->effect_ref, index, in_data->current_time,
                                                     in_data->time_step, in_data->time_scale, &records[index]);
    if (err != PF_Err_NONE) {
      return err;
    }
  }
  return PF_Err_NONE;
}

// The glitch and then the switched filters over the work buffer, which the
// pipeline sees packed and in A, R, G, B order whatever the host's layout.
// False when the glitch failed; the buffer is then not to be copied out.
bool run_pipeline(PF_InData* in_data, PF_EffectWorld* world, GlitchSettings& settings) {
  PF_Pixel8* pixels = nullptr;
  in_data->utils->get_pixel_data8(world, nullptr, &pixels);  // its result is not kept
  bool bgra = false;
  if (in_data->appl_id == premiere_pro_app_id) {
    OptionalSuite formats(in_data->pica_basicP, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
    bgra = work_buffer_is_bgra(formats.get<PF_PixelFormatSuite1>(), world);
  }
  PipelineView view(reinterpret_cast<std::uint8_t*>(pixels), world->rowbytes, settings.width, settings.height, bgra);
  settings.pixels = view.pixels();
  if (settings.glitch_frame() < 0) {
    return false;
  }
  if (settings.filter1_enabled) {
    settings.apply_filter1();
  }
  if (settings.filter2_enabled) {
    settings.apply_filter2();
  }
  view.write_back();
  return true;
}

// Steps between check-out and clean-up; the work buffer's disposal runs as
// this function returns.
void render_in_scope(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output, ParamRecords& records,
                     PF_Err& err) {
  err = check_out_values(in_data, records);

  GlitchSettings settings = settings_from_records(records);
  settings.messages = effect_messages();
  const std::int32_t input_width = settings.width;
  const std::int32_t input_height = settings.height;
  pad_geometry(settings);

  PF_Rect input_rect{0, 0, input_width, input_height};
  PF_Rect work_rect{0, 0, settings.width, settings.height};
  const PF_Pixel opaque_black{255, 0, 0, 0};

  WorkWorld work(in_data, err);
  if (err == PF_Err_NONE) {
    err = work.create(settings.width, settings.height);
  }
  if (err == PF_Err_NONE) {
    err = in_data->utils->fill(in_data->effect_ref, &opaque_black, nullptr, work.get());
  }
  if (err == PF_Err_NONE) {
    err = in_data->utils->copy(in_data->effect_ref, &params[PARAM_INPUT]->u.ld, work.get(), &input_rect, &work_rect);
  }
  if (err == PF_Err_NONE && run_pipeline(in_data, work.get(), settings)) {
    err = in_data->utils->copy(in_data->effect_ref, work.get(), output, &work_rect, &input_rect);
  }
}

}  // namespace

PF_Err render_frame(PF_InData* in_data, PF_OutData* /*out_data*/, PF_ParamDef* params[], PF_LayerDef* output) {
  SuiteCache suites(in_data->pica_basicP);  // nothing is requested; a null basic suite ends the render here
  PF_Err err = PF_Err_NONE;
  {
    // The clean-up of this scope (disposal, check-ins) may still set err, so
    // it must end before err is returned. The records are declared first, so
    // the work buffer is disposed of before they are checked in.
    ParamRecords records(in_data, err);
    render_in_scope(in_data, params, output, records, err);
  }
  return err;
}

}  // namespace shardcast
