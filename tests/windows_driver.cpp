// Drives a built effect module through the simulated host and writes down
// everything it answers, so that two builds of the module (Linux and
// Windows under Wine) can be compared byte for byte.
//
//   shardcast_wine_driver <module> <output folder>
//
// In the folder: report.txt (registration, global setup in both hosts,
// parameter table, About, supervision, and every render's result and host
// calls) and, per render case, <case>.argb (the output picture) and
// <case>.messages (the decoder's standard output during that render). The
// module runs the fast paths of the best instruction set the processor has;
// so that every other set is compared too, the driver also runs the
// decoder and the filters itself with each set forced, the reference among
// them: fast_<case>_<set>.argb and .messages.
// Numbers are written exactly (shortest round-trip form), nothing that
// depends on addresses or the platform goes in. Exits 1 if the module cannot
// be loaded or a file cannot be written.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <turbojpeg.h>

#include "decoder/decoder.h"
#include "host/params.h"
#include "hostsim/simulated_host.h"
#include "pipeline/filter_kernels.h"
#include "pipeline/glitch_frame.h"
#include "pipeline/glitch_settings.h"

namespace {

namespace fs = std::filesystem;
using shardcast::hostsim::CommandOutcome;
using shardcast::hostsim::HostMode;
using shardcast::hostsim::HostOptions;
using shardcast::hostsim::Picture;
using shardcast::hostsim::SimulatedHost;

struct Report {
  std::string text;

  void line(std::string_view item) {
    text += item;
    text += '\n';
  }
  template <typename Number>
  static std::string number(Number value) {
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
  }
};

// Control characters (the About text's carriage return) as \xNN.
std::string printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '\\') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

void write_outcome(Report& report, std::string_view label, const CommandOutcome& outcome) {
  const PF_OutData& out = outcome.out_data;
  report.line(std::string(label) + " result " + Report::number(outcome.result) + " my_version " +
              Report::number(out.my_version) + " out_flags " + Report::number(out.out_flags) + " out_flags2 " +
              Report::number(out.out_flags2) + " num_params " + Report::number(out.num_params));
  std::string calls = std::string(label) + " calls";
  for (const auto& call : outcome.calls) {
    calls += ' ';
    calls += shardcast::hostsim::host_call_name(call.call);
    if (call.param_index >= 0) {
      calls += '#' + Report::number(call.param_index);
    }
    if (!call.suite_name.empty()) {
      // Appended piece by piece: GCC 12 mistakes "text" + std::string&& for an
      // overlapping copy (-Wrestrict) once it is inlined.
      calls += '(';
      calls += call.suite_name;
      calls += " v";
      calls += Report::number(call.suite_version);
      calls += ')';
    }
    if (call.result != 0) {
      calls += '=';
      calls += Report::number(call.result);
    }
  }
  report.line(calls);
  for (const auto& violation : outcome.violations) {
    report.line(std::string(label) + " violation " + printable(violation));
  }
}

void write_parameter_table(Report& report, const SimulatedHost& host) {
  for (A_long index = 0; index < host.parameter_count(); ++index) {
    const PF_ParamDef& def = host.parameter(index);
    std::string row = "param " + Report::number(index) + " type " + Report::number(def.param_type) + " id " +
                      Report::number(def.uu.id) + " flags " + Report::number(def.flags) + " ui_flags " +
                      Report::number(def.ui_flags) + " name \"" + printable(def.name) + "\"";
    if (def.param_type == PF_Param_FLOAT_SLIDER) {
      const PF_FloatSliderDef& s = def.u.fs_d;
      row += " value " + Report::number(s.value) + " valid " + Report::number(s.valid_min) + ".." +
             Report::number(s.valid_max) + " slider " + Report::number(s.slider_min) + ".." +
             Report::number(s.slider_max) + " default " + Report::number(s.dephault) + " precision " +
             Report::number(s.precision) + " display " + Report::number(s.display_flags);
    } else if (def.param_type == PF_Param_CHECKBOX) {
      row += " value " + Report::number(def.u.bd.value) + " default " + Report::number(def.u.bd.dephault);
    }
    report.line(row);
  }
}

// A picture with smooth gradients, hard edges and fine texture, so that
// every stage of the effect has something to change.
Picture test_picture(A_long width, A_long height) {
  Picture picture = Picture::filled(width, height, PF_Pixel{255, 0, 0, 0});
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      const bool square = ((x / 8) + (y / 8)) % 3 == 0;
      picture.set(x, y,
                  PF_Pixel{static_cast<A_u_char>(x < width / 2 ? 255 : 200 + (y % 50)),
                           static_cast<A_u_char>(x * 255 / (width - 1)), static_cast<A_u_char>(y * 255 / (height - 1)),
                           static_cast<A_u_char>(square ? 240 : ((x ^ y) * 7) & 0xFF)});
    }
  }
  return picture;
}

struct RenderCase {
  const char* name;
  HostMode mode;
  A_long width;
  A_long height;
  std::function<void(SimulatedHost&)> settings;
};

void slider(SimulatedHost& host, shardcast::ParamIndex index, double value) { host.set_slider(index, value); }
void checkbox(SimulatedHost& host, shardcast::ParamIndex index, bool on) { host.set_checkbox(index, on); }

const std::vector<RenderCase>& render_cases() {
  using namespace shardcast;
  static const std::vector<RenderCase> cases = {
      {"clean", HostMode::AfterEffects, 64, 48, [](SimulatedHost&) {}},
      {"clean_quality_35", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) { slider(h, PARAM_COMPRESSION_RATIO, 35); }},
      {"heavy_damage", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) {
         slider(h, PARAM_BROKEN_BYTES, 600);
         slider(h, PARAM_SEED, 7);
         slider(h, PARAM_COMPRESSION_RATIO, 80);
       }},
      {"damage_window", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) {
         slider(h, PARAM_BROKEN_BYTES, 40);
         slider(h, PARAM_GLITCH_START, 20.5);
         slider(h, PARAM_GLITCH_END, 43.25);
         slider(h, PARAM_SEED, 12345);
       }},
      {"tampering", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) {
         checkbox(h, PARAM_QTL, true);
         slider(h, PARAM_QTL_POSITION, 3);
         slider(h, PARAM_QTL_VALUE, 200);
         slider(h, PARAM_QTL_BREAKING_BYTES, 12);
         slider(h, PARAM_QTL_MAX_RANDOM, 90);
         slider(h, PARAM_QTL_SEED, 99);
         checkbox(h, PARAM_QTC, true);
         slider(h, PARAM_QTC_POSITION, 1);
         slider(h, PARAM_QTC_VALUE, 255);
         slider(h, PARAM_QTC_BREAKING_BYTES, 30);
         slider(h, PARAM_QTC_MAX_RANDOM, 255);
         slider(h, PARAM_QTC_SEED, 4242);
         slider(h, PARAM_BROKEN_BYTES, 10);
       }},
      {"no_inverse_dct", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) { checkbox(h, PARAM_INVERSE_DCT, false); }},
      {"no_colour_conversion", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) { checkbox(h, PARAM_YCBCR_TO_RGB, false); }},
      {"no_dequantisation", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) {
         checkbox(h, PARAM_DEQUANTIZE, false);
         slider(h, PARAM_BROKEN_BYTES, 25);
       }},
      {"all_stages_off", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) {
         checkbox(h, PARAM_INVERSE_DCT, false);
         checkbox(h, PARAM_YCBCR_TO_RGB, false);
         checkbox(h, PARAM_DEQUANTIZE, false);
       }},
      {"filter_1", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) {
         checkbox(h, PARAM_FILTER1, true);
         slider(h, PARAM_FILTER1_VALUE, 2.37);
       }},
      {"both_filters", HostMode::AfterEffects, 64, 48,
       [](SimulatedHost& h) {
         checkbox(h, PARAM_FILTER1, true);
         slider(h, PARAM_FILTER1_VALUE, -1.3);
         checkbox(h, PARAM_FILTER2, true);
         slider(h, PARAM_FILTER2_VALUE, 0.77);
         slider(h, PARAM_BROKEN_BYTES, 15);
       }},
      {"width_50", HostMode::AfterEffects, 50, 30,
       [](SimulatedHost& h) {
         slider(h, PARAM_BROKEN_BYTES, 20);
         slider(h, PARAM_SEED, 3);
       }},
      {"width_17_filtered", HostMode::AfterEffects, 17, 9,
       [](SimulatedHost& h) {
         checkbox(h, PARAM_FILTER2, true);
         slider(h, PARAM_COMPRESSION_RATIO, 50);
       }},
      {"premiere_damage", HostMode::PremierePro, 64, 48,
       [](SimulatedHost& h) {
         slider(h, PARAM_BROKEN_BYTES, 120);
         slider(h, PARAM_SEED, 77);
       }},
  };
  return cases;
}

bool write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

HostOptions in_mode(HostMode mode) {
  HostOptions options;
  options.mode = mode;
  return options;
}

void set_up(SimulatedHost& host, Report& report, std::string_view label) {
  write_outcome(report, std::string(label) + " global_setup", host.global_setup());
  write_outcome(report, std::string(label) + " params_setup", host.params_setup());
}

void run_registration_and_setup(const fs::path& module, Report& report) {
  SimulatedHost host(module);
  const auto registration = host.register_effect();
  report.line("registration result " + Report::number(registration.result) + " callbacks " +
              Report::number(registration.callbacks.size()));
  for (const auto& r : registration.callbacks) {
    report.line("registration \"" + r.name + "\" \"" + r.match_name + "\" \"" + r.category + "\" \"" + r.entry_point +
                "\" kind " + Report::number(r.kind) + " api " + Report::number(r.api_version_major) + "." +
                Report::number(r.api_version_minor) + " reserved " + Report::number(r.reserved_info));
  }

  const CommandOutcome about = host.about();
  write_outcome(report, "about", about);
  report.line("about text \"" + printable(about.out_data.return_msg) + "\"");

  write_outcome(report, "ae global_setup", host.global_setup());
  write_outcome(report, "ae params_setup", host.params_setup());
  report.line("ae registered_num_params " + Report::number(host.registered_num_params()));
  write_parameter_table(report, host);

  SimulatedHost premiere(module, in_mode(HostMode::PremierePro));
  set_up(premiere, report, "premiere");
  std::string formats = "premiere pixel_formats cleared " + Report::number(int{premiere.pixel_formats_cleared()});
  for (const PrPixelFormat format : premiere.announced_pixel_formats()) {
    formats += ' ';
    formats += Report::number(static_cast<std::uint32_t>(format));
  }
  report.line(formats);

  SimulatedHost bare(module, in_mode(HostMode::PremierePro));
  bare.faults().unavailable_suites.push_back("PF Pixel Format Suite");
  write_outcome(report, "premiere without pixel format suite global_setup", bare.global_setup());
}

// The user's edits of the glitch window, each from the defaults.
void run_supervision(const fs::path& module, Report& report) {
  using namespace shardcast;
  struct Edit {
    ParamIndex index;
    double value;
  };
  const std::vector<std::vector<Edit>> sequences = {
      {{PARAM_GLITCH_START, 30.0}},
      {{PARAM_GLITCH_START, 30.0}, {PARAM_GLITCH_END, 20.0}},
      {{PARAM_GLITCH_END, 50.0}, {PARAM_GLITCH_START, 99.9}},
      {{PARAM_GLITCH_END, 0.1}},
      {{PARAM_GLITCH_START, 45.55}, {PARAM_GLITCH_END, 45.55}},
  };
  for (std::size_t s = 0; s < sequences.size(); ++s) {
    SimulatedHost host(module);
    set_up(host, report, "supervision " + Report::number(s));
    for (const Edit& edit : sequences[s]) {
      const auto outcomes = host.user_edit(edit.index, edit.value);
      for (std::size_t o = 0; o < outcomes.size(); ++o) {
        write_outcome(report,
                      "supervision " + Report::number(s) + " edit " + Report::number(edit.index) + "=" +
                          Report::number(edit.value) + " command " + Report::number(o),
                      outcomes[o]);
      }
      report.line("supervision " + Report::number(s) + " start " +
                  Report::number(host.slider_value(PARAM_GLITCH_START)) + " end " +
                  Report::number(host.slider_value(PARAM_GLITCH_END)));
    }
    report.line("supervision " + Report::number(s) + " ui updates " + Report::number(host.param_ui_updates().size()));
  }
}

bool run_renders(const fs::path& module, const fs::path& folder, Report& report) {
  for (const RenderCase& c : render_cases()) {
    SimulatedHost host(module, in_mode(c.mode));
    set_up(host, report, c.name);
    c.settings(host);
    // The decoder writes to the process's standard output, which the module
    // shares with this program; each render's lines go to their own file.
    const fs::path messages = folder / (std::string(c.name) + ".messages");
    std::fflush(stdout);
    if (std::freopen(messages.string().c_str(), "wb", stdout) == nullptr) {
      std::fprintf(stderr, "cannot write %s\n", messages.string().c_str());
      return false;
    }
    const CommandOutcome outcome = host.render(test_picture(c.width, c.height));
    std::fflush(stdout);
    write_outcome(report, std::string(c.name) + " render", outcome);
    const auto& pixels = outcome.output.argb;
    if (!write_file(folder / (std::string(c.name) + ".argb"),
                    std::string_view(reinterpret_cast<const char*>(pixels.data()), pixels.size()))) {
      return false;
    }
  }
  return true;
}

// The work buffer compressed as glitch_frame compresses it.
bool compress_work_buffer(const shardcast::GlitchSettings& settings, std::vector<std::uint8_t>& stream) {
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) {
    return false;
  }
  unsigned char* data = nullptr;
  unsigned long size = 0;
  const int status = tjCompress2(handle, settings.pixels, settings.width, 0, settings.height, TJPF_XRGB, &data, &size,
                                 TJSAMP_422, settings.quality, 0);
  if (status == 0) {
    stream.assign(data, data + size);
  }
  tjFree(data);
  tjDestroy(handle);
  return status == 0;
}

// The decoder and the filters with each instruction set forced, on a stream
// compressed from the test picture as the effect compresses it (4:2:2).
struct FastPathCase {
  const char* name;
  std::function<void(shardcast::GlitchSettings&)> settings;
};

const std::vector<FastPathCase>& fast_path_cases() {
  static const std::vector<FastPathCase> cases = {
      {"damage", [](shardcast::GlitchSettings& s) { s.broken_bytes = 300; }},
      {"tampering",
       [](shardcast::GlitchSettings& s) {
         s.broken_bytes = 20;
         s.qtl_enabled = s.qtc_enabled = true;
         s.qtl_position = 3;
         s.qtl_value = 200;
         s.qtl_break_count = 12;
         s.qtl_max_random = 90;
         s.qtc_position = 1;
         s.qtc_value = 255;
         s.qtc_break_count = 30;
         s.qtc_max_random = 255;
       }},
      {"no_dequantisation",
       [](shardcast::GlitchSettings& s) {
         s.dequantize = false;
         s.broken_bytes = 25;
       }},
      {"no_inverse_dct", [](shardcast::GlitchSettings& s) { s.inverse_dct = false; }},
      {"no_colour_conversion", [](shardcast::GlitchSettings& s) { s.ycbcr_to_rgb = false; }},
      {"both_filters",
       [](shardcast::GlitchSettings& s) {
         s.broken_bytes = 15;
         s.filter1_enabled = s.filter2_enabled = true;
         s.filter1_value = -1.3f;
         s.filter2_value = 0.77f;
       }},
  };
  return cases;
}

bool run_fast_paths(const fs::path& folder) {
  const Picture picture = test_picture(72, 40);
  for (const FastPathCase& c : fast_path_cases()) {
    for (const shardcast::SimdLevel level : shardcast::all_simd_levels) {
      if (!shardcast::simd_level_available(level)) {
        continue;
      }
      for (const bool reference : {false, true}) {
        if (reference && level != shardcast::SimdLevel::scalar) {
          continue;
        }
        std::vector<std::uint8_t> pixels = picture.argb;
        std::string lines;
        shardcast::GlitchSettings settings;
        settings.pixels = pixels.data();
        settings.width = picture.width;
        settings.height = picture.height;
        settings.quality = 90;
        settings.glitch_end = 100.0f;
        settings.dequantize = settings.inverse_dct = settings.ycbcr_to_rgb = true;
        settings.seed = 7;
        settings.qtl_seed = 99;
        settings.qtc_seed = 4242;
        settings.messages = shardcast::MessageSink::appending_to(lines);
        c.settings(settings);
        settings.seed_engines();
        // The effect's own compression and damage, then the decoder and the
        // filters of the level.
        std::vector<std::uint8_t> stream;
        if (!compress_work_buffer(settings, stream)) {
          return false;
        }
        shardcast::corrupt_stream(settings, stream.data(), static_cast<std::uint32_t>(stream.size()));
        const auto length = static_cast<std::uint32_t>(stream.size());
        // What decode_to_work_buffer hands the decoder.
        const shardcast::DecodeOptions options = settings.decode_options();
        const shardcast::PixelBuffer output{settings.pixels, settings.width, settings.height};
        const std::int32_t result =
            reference ? shardcast::decode_stream_reference(stream.data(), length, options, output, settings.messages)
                      : shardcast::decode_stream_with(level, stream.data(), length, options, output, settings.messages);
        if (settings.filter1_enabled) {
          reference
              ? shardcast::filter1_reference(settings.pixels, settings.width, settings.height, settings.filter1_value)
              : shardcast::filter1_fast(level, settings.pixels, settings.width, settings.height,
                                        settings.filter1_value);
        }
        if (settings.filter2_enabled) {
          reference
              ? shardcast::filter2_reference(settings.pixels, settings.width, settings.height, settings.filter2_value)
              : shardcast::filter2_fast(level, settings.pixels, settings.width, settings.height,
                                        settings.filter2_value);
        }
        lines += "result " + Report::number(result) + "\n";
        const std::string name =
            std::string("fast_") + c.name + "_" + (reference ? "reference" : shardcast::simd_level_name(level));
        if (!write_file(folder / (name + ".argb"),
                        std::string_view(reinterpret_cast<const char*>(pixels.data()), pixels.size())) ||
            !write_file(folder / (name + ".messages"), lines)) {
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <module> <output folder>\n", argv[0]);
    return 2;
  }
  const fs::path module = argv[1];
  const fs::path folder = argv[2];
  try {
    fs::create_directories(folder);
    Report report;
    run_registration_and_setup(module, report);
    run_supervision(module, report);
    const bool rendered = run_renders(module, folder, report) && run_fast_paths(folder);
    return rendered && write_file(folder / "report.txt", report.text) ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
