// Audio encoded again: for --audio CODEC, and where the output's container
// cannot hold the clip's audio as it is (AAC in WebM, PCM in MP4). The
// packets the writer would have copied are decoded, converted by
// libswresample to a sample format, rate and channel layout the encoder
// takes (the clip's own where it takes them), gathered into the frame size
// the encoder wants, and encoded. The stream's clock starts where its first
// packet lies after the output's first frame and counts samples from
// there, so the sound stays where the copied packets would have put it.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include "cli/video/ffmpeg_log.h"
#include "cli/video/ffmpeg_values.h"
#include "cli/video/writer_state.h"

namespace shardcast::cli {

struct ResamplerDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

struct AudioEncoding {
  unsigned input = 0;  // the clip's stream
  int output = -1;     // the output's stream
  const AVCodec* codec = nullptr;
  ffmpeg::CodecContext decoder;
  ffmpeg::CodecContext encoder;
  std::unique_ptr<SwrContext, ResamplerDeleter> resampler;
  std::unique_ptr<AVAudioFifo, FifoDeleter> waiting;  // converted samples not yet encoded
  ffmpeg::FramePointer decoded{av_frame_alloc()};
  ffmpeg::FramePointer converted{av_frame_alloc()};
  ffmpeg::FramePointer chunk{av_frame_alloc()};
  ffmpeg::PacketPointer packet{av_packet_alloc()};
  std::int64_t next_sample = AV_NOPTS_VALUE;  // the next chunk's time, in samples
};

void AudioEncodingDeleter::operator()(AudioEncoding* encoding) const { delete encoding; }

namespace {

using ffmpeg::codec_name;
using ffmpeg::reason;

// The clip's rate where the encoder takes it, else the nearest it takes.
int choose_rate(const AVCodec& codec, int rate) {
  if (codec.supported_samplerates == nullptr) {
    return rate;
  }
  int best = codec.supported_samplerates[0];
  for (const int* r = codec.supported_samplerates; *r != 0; ++r) {
    if (std::abs(*r - rate) < std::abs(best - rate)) {
      best = *r;
    }
  }
  return best;
}

AVSampleFormat choose_format(const AVCodec& codec, AVSampleFormat format) {
  if (codec.sample_fmts == nullptr) {
    return format;
  }
  for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == format) {
      return format;
    }
  }
  return codec.sample_fmts[0];
}

// The clip's layout where the encoder takes it, else stereo where it
// takes that, else its first.
int choose_layout(const AVCodec& codec, const AVChannelLayout& clip, AVChannelLayout& chosen) {
  AVChannelLayout wanted{};
  if (clip.order == AV_CHANNEL_ORDER_UNSPEC || clip.order == AV_CHANNEL_ORDER_CUSTOM) {
    av_channel_layout_default(&wanted, std::max(clip.nb_channels, 1));
  } else if (const int result = av_channel_layout_copy(&wanted, &clip); result < 0) {
    return result;
  }
  const AVChannelLayout* pick = &wanted;
  if (codec.ch_layouts != nullptr) {
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    const AVChannelLayout* found = nullptr;
    for (const AVChannelLayout* l = codec.ch_layouts; l->nb_channels != 0 && found == nullptr; ++l) {
      found = av_channel_layout_compare(l, &wanted) == 0 ? l : nullptr;
    }
    for (const AVChannelLayout* l = codec.ch_layouts; l->nb_channels != 0 && found == nullptr; ++l) {
      found = av_channel_layout_compare(l, &stereo) == 0 ? l : nullptr;
    }
    pick = found != nullptr ? found : codec.ch_layouts;
  }
  const int result = av_channel_layout_copy(&chosen, pick);
  av_channel_layout_uninit(&wanted);
  return result;
}

std::string open_decoder(const AVStream& stream, AudioEncoding& encoding) {
  const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
  encoding.decoder.reset(avcodec_alloc_context3(codec));
  if (encoding.decoder == nullptr || encoding.packet == nullptr || encoding.decoded == nullptr ||
      encoding.converted == nullptr || encoding.chunk == nullptr) {
    return "out of memory";
  }
  AVCodecContext& decoder = *encoding.decoder;
  if (const int result = avcodec_parameters_to_context(&decoder, stream.codecpar); result < 0) {
    return "cannot set up the decoder of stream " + std::to_string(encoding.input) + " (" + reason(result) + ")";
  }
  decoder.pkt_timebase = stream.time_base;
  if (const int result = avcodec_open2(&decoder, codec, nullptr); result < 0) {
    return "cannot start the " + std::string(codec->name) + " decoder of stream " + std::to_string(encoding.input) +
           " (" + reason(result) + ")";
  }
  return {};
}

std::string open_encoder(const VideoWriter::State& state, AudioEncoding& encoding) {
  const AVCodec& codec = *encoding.codec;
  const AVCodecContext& decoder = *encoding.decoder;
  encoding.encoder.reset(avcodec_alloc_context3(&codec));
  if (encoding.encoder == nullptr) {
    return "out of memory";
  }
  AVCodecContext& encoder = *encoding.encoder;
  encoder.sample_rate = choose_rate(codec, decoder.sample_rate > 0 ? decoder.sample_rate : 48000);
  encoder.sample_fmt = choose_format(codec, decoder.sample_fmt);
  encoder.time_base = AVRational{1, encoder.sample_rate};
  if (const int result = choose_layout(codec, decoder.ch_layout, encoder.ch_layout); result < 0) {
    return "out of memory (" + reason(result) + ")";
  }
  if ((state.container->flags & AVFMT_GLOBALHEADER) != 0) {
    encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  // A lossy codec gets 64 kb/s a channel, which keeps speech and music
  // clean (some encoders' own defaults are half that, and say so).
  if (const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.id);
      descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSY) != 0) {
    encoder.bit_rate = std::int64_t{64000} * encoder.ch_layout.nb_channels;
  }
  if (const int result = avcodec_open2(&encoder, &codec, nullptr); result < 0) {
    return "the " + std::string(codec.name) + " encoder refused stream " + std::to_string(encoding.input) + " (" +
           reason(result) + ")";
  }
  encoding.waiting.reset(av_audio_fifo_alloc(encoder.sample_fmt, encoder.ch_layout.nb_channels, 4096));
  return encoding.waiting == nullptr ? "out of memory" : std::string();
}

std::string write_packets(VideoWriter::State& state, AudioEncoding& encoding) {
  AVCodecContext& encoder = *encoding.encoder;
  for (;;) {
    const int received = avcodec_receive_packet(&encoder, encoding.packet.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
      return {};
    }
    if (received < 0) {
      return "encoding stream " + std::to_string(encoding.input) + " failed (" + reason(received) + ")";
    }
    encoding.packet->stream_index = encoding.output;
    av_packet_rescale_ts(encoding.packet.get(), encoder.time_base, state.output->streams[encoding.output]->time_base);
    if (const int result = av_interleaved_write_frame(state.output.get(), encoding.packet.get()); result < 0) {
      return "writing stream " + std::to_string(encoding.input) + " failed (" + reason(result) + ")";
    }
  }
}

// Encodes the waiting samples a frame at a time; at the end, the rest too.
std::string encode_waiting(VideoWriter::State& state, AudioEncoding& encoding, bool end) {
  AVCodecContext& encoder = *encoding.encoder;
  const int frame_size = encoder.frame_size > 0 ? encoder.frame_size : 4096;
  for (int left = av_audio_fifo_size(encoding.waiting.get()); left >= frame_size || (end && left > 0);
       left = av_audio_fifo_size(encoding.waiting.get())) {
    AVFrame& chunk = *encoding.chunk;
    av_frame_unref(&chunk);
    chunk.nb_samples = std::min(left, frame_size);
    chunk.format = encoder.sample_fmt;
    chunk.sample_rate = encoder.sample_rate;
    if (av_channel_layout_copy(&chunk.ch_layout, &encoder.ch_layout) < 0 || av_frame_get_buffer(&chunk, 0) < 0) {
      return "out of memory";
    }
    av_audio_fifo_read(encoding.waiting.get(), reinterpret_cast<void**>(chunk.data), chunk.nb_samples);
    chunk.pts = encoding.next_sample;
    encoding.next_sample += chunk.nb_samples;
    if (const int result = avcodec_send_frame(&encoder, &chunk); result < 0) {
      return "encoding stream " + std::to_string(encoding.input) + " failed (" + reason(result) + ")";
    }
    if (std::string failure = write_packets(state, encoding); !failure.empty()) {
      return failure;
    }
  }
  return {};
}

// The resampler, from the first decoded frame's samples to the encoder's.
// A layout that only counts channels is taken as that count's usual one.
std::string start_resampler(AudioEncoding& encoding, const AVFrame& decoded) {
  const AVCodecContext& encoder = *encoding.encoder;
  AVChannelLayout layout{};
  if (decoded.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&layout, decoded.ch_layout.nb_channels);
  } else if (av_channel_layout_copy(&layout, &decoded.ch_layout) < 0) {
    return "out of memory";
  }
  AVChannelLayout out_layout{};
  if (av_channel_layout_copy(&out_layout, &encoder.ch_layout) < 0) {
    av_channel_layout_uninit(&layout);
    return "out of memory";
  }
  SwrContext* resampler = nullptr;
  int result = swr_alloc_set_opts2(&resampler, &out_layout, encoder.sample_fmt, encoder.sample_rate, &layout,
                                   static_cast<AVSampleFormat>(decoded.format), decoded.sample_rate, 0, nullptr);
  encoding.resampler.reset(resampler);
  av_channel_layout_uninit(&layout);
  av_channel_layout_uninit(&out_layout);
  if (result >= 0) {
    result = swr_init(encoding.resampler.get());
  }
  if (result < 0) {
    return "cannot convert the samples of stream " + std::to_string(encoding.input) + " (" + reason(result) + ")";
  }
  return {};
}

// Converts a decoded frame (or, given none, what the resampler still
// holds) into the waiting samples.
std::string convert(AudioEncoding& encoding, const AVFrame* decoded) {
  if (encoding.resampler == nullptr && decoded != nullptr) {
    if (std::string failure = start_resampler(encoding, *decoded); !failure.empty()) {
      return failure;
    }
  }
  const AVCodecContext& encoder = *encoding.encoder;
  AVFrame& converted = *encoding.converted;
  av_frame_unref(&converted);
  converted.format = encoder.sample_fmt;
  converted.sample_rate = encoder.sample_rate;
  converted.nb_samples = swr_get_out_samples(encoding.resampler.get(), decoded != nullptr ? decoded->nb_samples : 0);
  if (converted.nb_samples <= 0) {
    return {};
  }
  if (av_channel_layout_copy(&converted.ch_layout, &encoder.ch_layout) < 0 || av_frame_get_buffer(&converted, 0) < 0) {
    return "out of memory";
  }
  const int count = swr_convert(encoding.resampler.get(), converted.data, converted.nb_samples,
                                decoded != nullptr ? const_cast<const std::uint8_t**>(decoded->extended_data) : nullptr,
                                decoded != nullptr ? decoded->nb_samples : 0);
  if (count < 0) {
    return "converting the samples of stream " + std::to_string(encoding.input) + " failed (" + reason(count) + ")";
  }
  if (av_audio_fifo_write(encoding.waiting.get(), reinterpret_cast<void**>(converted.data), count) < count) {
    return "out of memory";
  }
  return {};
}

// Every frame the decoder has ready, converted and encoded.
std::string drain_decoder(VideoWriter::State& state, AudioEncoding& encoding) {
  for (;;) {
    const int received = avcodec_receive_frame(encoding.decoder.get(), encoding.decoded.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
      return {};
    }
    if (received < 0) {
      return "decoding stream " + std::to_string(encoding.input) + " failed (" + reason(received) + ")";
    }
    std::string failure = convert(encoding, encoding.decoded.get());
    av_frame_unref(encoding.decoded.get());
    if (failure.empty()) {
      failure = encode_waiting(state, encoding, false);
    }
    if (!failure.empty()) {
      return failure;
    }
  }
}

}  // namespace

std::string plan_audio(VideoWriter::State& state, unsigned stream, const AVCodec& encoder) {
  const AVCodecParameters& clip = *state.source->format->streams[stream]->codecpar;
  if (avcodec_find_decoder(clip.codec_id) == nullptr) {
    return "this FFmpeg has no decoder for stream " + std::to_string(stream) + " (" + codec_name(clip.codec_id) +
           " audio), so it cannot be encoded again";
  }
  auto encoding = std::unique_ptr<AudioEncoding, AudioEncodingDeleter>(new AudioEncoding);
  encoding->input = stream;
  encoding->codec = &encoder;
  state.audio.push_back(std::move(encoding));
  return {};
}

AudioEncoding* audio_for(const VideoWriter::State& state, int stream) {
  for (const auto& encoding : state.audio) {
    if (static_cast<int>(encoding->input) == stream) {
      return encoding.get();
    }
  }
  return nullptr;
}

std::string audio_text(const VideoWriter::State& state) {
  std::string text;
  for (const auto& encoding : state.audio) {
    text += ", stream " + std::to_string(encoding->input) + " encoded as " + encoding->codec->name;
  }
  return text;
}

std::string open_audio(VideoWriter::State& state, AudioEncoding& encoding) {
  const AVStream& from = *state.source->format->streams[encoding.input];
  if (std::string failure = open_decoder(from, encoding); !failure.empty()) {
    return failure;
  }
  if (std::string failure = open_encoder(state, encoding); !failure.empty()) {
    return failure;
  }
  AVStream* to = avformat_new_stream(state.output.get(), nullptr);
  if (to == nullptr) {
    return "out of memory";
  }
  if (const int result = avcodec_parameters_from_context(to->codecpar, encoding.encoder.get()); result < 0) {
    return "cannot describe stream " + std::to_string(encoding.input) + " (" + reason(result) + ")";
  }
  to->time_base = encoding.encoder->time_base;
  to->disposition = from.disposition;
  av_dict_copy(&to->metadata, from.metadata, 0);
  encoding.output = to->index;
  return {};
}

std::string encode_audio(VideoWriter::State& state, AudioEncoding& encoding, const AVPacket& packet, double seconds) {
  if (encoding.next_sample == AV_NOPTS_VALUE) {
    encoding.next_sample = std::llround(std::max(seconds - state.start_seconds, 0.0) * encoding.encoder->sample_rate);
  }
  // A damaged packet is skipped, as the video's are.
  avcodec_send_packet(encoding.decoder.get(), &packet);
  return drain_decoder(state, encoding);
}

std::string finish_audio(VideoWriter::State& state) {
  for (const auto& encoding : state.audio) {
    if (encoding->encoder == nullptr || encoding->next_sample == AV_NOPTS_VALUE) {
      continue;
    }
    avcodec_send_packet(encoding->decoder.get(), nullptr);
    std::string failure = drain_decoder(state, *encoding);
    if (failure.empty() && encoding->resampler != nullptr) {
      failure = convert(*encoding, nullptr);
    }
    if (failure.empty()) {
      failure = encode_waiting(state, *encoding, true);
    }
    if (failure.empty() && avcodec_send_frame(encoding->encoder.get(), nullptr) >= 0) {
      failure = write_packets(state, *encoding);
    }
    if (!failure.empty()) {
      return failure;
    }
  }
  return {};
}

}  // namespace shardcast::cli
