// Clips for the conversion tests, made with ffmpeg in the build tree, and the checks that read
// them back with ffmpeg and ffprobe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace media_test {

// Runs a shell command; its standard output, when asked for. False when it exits non-zero.
bool Run(const std::string& command, std::vector<uint8_t>* output = nullptr);

// A fresh, empty folder under the test folder (ends with '/').
std::string FreshFolder(const std::string& name);

// A source clip made once per build tree with `ffmpeg <inputs and options> <name>.avi`.
std::string SourceClip(const std::string& name, const std::string& ffmpegArguments);

std::vector<uint8_t> ReadFile(const std::string& path);
void CopyFile(const std::string& from, const std::string& to);
// Names in `folder` that start with "Zan".
std::vector<std::string> LeftoverTemporaries(const std::string& folder);

// ffprobe's view of each stream: key=value pairs (codec_type, codec_name, pix_fmt, width,
// height, r_frame_rate, nb_read_packets, sample_rate, channels, ...).
std::vector<std::map<std::string, std::string>> Probe(const std::string& path);
// The bytes of the first audio stream, as ffmpeg reads them.
std::vector<uint8_t> AudioBytes(const std::string& path);
// Video stream `index` decoded by ffmpeg to full-range 4:2:0, or copied when already raw.
std::vector<uint8_t> FfmpegI420(const std::string& path, int index, bool copy);

struct PlanesPsnr {
    double luma, chroma;
};
PlanesPsnr ComparePlanes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                         uint32_t width, uint32_t height);

// Writes a copy of a clip with each video frame passed through `change` (frame index, bytes).
void RewriteClip(const std::string& from, const std::string& to,
                 const std::function<void(int, std::vector<uint8_t>&)>& change);

// The chunks of the first video stream of a clip, read with the portable reader.
std::vector<std::vector<uint8_t>> VideoFrames(const std::string& path);

}  // namespace media_test
