#include "test_clips.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

#include "riff_avi.h"

namespace fs = std::filesystem;

namespace media_test {

bool Run(const std::string& command, std::vector<uint8_t>* output) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output) output->insert(output->end(), buffer, buffer + n);
    return pclose(pipe) == 0;
}

std::string FreshFolder(const std::string& name) {
    const fs::path folder = fs::path(MEDIA_TEST_DIR) / "work" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string() + "/";
}

std::string SourceClip(const std::string& name, const std::string& ffmpegArguments) {
    const fs::path folder = fs::path(MEDIA_TEST_DIR) / "sources";
    fs::create_directories(folder);
    const std::string path = (folder / (name + ".avi")).string();
    if (!fs::exists(path)) {
        // Tests may run side by side: each makes its own part file and renames it into place.
        const std::string part = path + "." + std::to_string(getpid()) + ".part.avi";
        if (!Run(std::string(FFMPEG) + " -nostdin -v error -y " + ffmpegArguments + " '" + part +
                 "'"))
            throw std::runtime_error("ffmpeg could not make " + name);
        fs::rename(part, path);
    }
    return path;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::vector<uint8_t> bytes(size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

void CopyFile(const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

std::vector<std::string> LeftoverTemporaries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Zan", 0) == 0) names.push_back(name);
    }
    return names;
}

std::vector<std::map<std::string, std::string>> Probe(const std::string& path) {
    std::vector<uint8_t> out;
    Run(std::string(FFPROBE) +
            " -v error -count_packets -show_entries stream=codec_type,"
            "codec_name,pix_fmt,width,height,r_frame_rate,nb_read_packets,sample_rate,channels,"
            "bits_per_sample -of compact=p=0 '" +
            path + "'",
        &out);
    std::vector<std::map<std::string, std::string>> streams;
    std::istringstream lines(std::string(out.begin(), out.end()));
    std::string line;
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> fields;
        std::istringstream items(line);
        std::string item;
        while (std::getline(items, item, '|')) {
            const size_t eq = item.find('=');
            if (eq != std::string::npos) fields[item.substr(0, eq)] = item.substr(eq + 1);
        }
        if (!fields.empty()) streams.push_back(fields);
    }
    return streams;
}

std::vector<uint8_t> AudioBytes(const std::string& path) {
    std::vector<uint8_t> out;
    Run(std::string(FFMPEG) + " -nostdin -v error -i '" + path + "' -map 0:a:0 -c copy -f data -",
        &out);
    return out;
}

std::vector<uint8_t> FfmpegI420(const std::string& path, int index, bool copy) {
    std::vector<uint8_t> out;
    Run(std::string(FFMPEG) + " -nostdin -v error -i '" + path + "' -map 0:v:" +
            std::to_string(index) + (copy ? " -c:v copy" : " -pix_fmt yuvj420p") + " -f rawvideo -",
        &out);
    return out;
}

PlanesPsnr ComparePlanes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                         uint32_t width, uint32_t height) {
    const size_t luma = size_t(width) * height;
    const size_t frame = luma * 3 / 2;
    double squared[2] = {0, 0};
    size_t counts[2] = {0, 0};
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        const int plane = (i % frame) < luma ? 0 : 1;
        const double d = double(a[i]) - double(b[i]);
        squared[plane] += d * d;
        ++counts[plane];
    }
    auto psnr = [](double sum, size_t count) {
        if (count == 0) return 0.0;
        if (sum == 0) return 99.0;
        return 10 * std::log10(255.0 * 255.0 / (sum / double(count)));
    };
    return {psnr(squared[0], counts[0]), psnr(squared[1], counts[1])};
}

void RewriteClip(const std::string& from, const std::string& to,
                 const std::function<void(int, std::vector<uint8_t>&)>& change) {
    std::unique_ptr<media::AviFile> in = media::OpenRiffAvi(from);
    if (!in) throw std::runtime_error("cannot read " + from);
    media::AviFileInfo info;
    in->Info(info);
    std::unique_ptr<media::AviFile> out = media::CreateRiffAvi(to);
    std::vector<std::unique_ptr<media::AviStream>> ins, outs;
    for (uint32_t i = 0; i < info.streams; ++i) {
        ins.push_back(in->GetStream(i));
        media::AviStreamInfo si;
        ins.back()->Info(si);
        outs.push_back(out->CreateStream(si));
        int32_t size = 0;
        ins.back()->ReadFormat(0, nullptr, &size);
        std::vector<uint8_t> format(static_cast<size_t>(size));
        ins.back()->ReadFormat(0, format.data(), &size);
        outs.back()->SetFormat(0, format.data(), size);
    }
    for (uint32_t i = 0; i < info.streams; ++i) {
        media::AviStreamInfo si;
        ins[i]->Info(si);
        const int32_t start = ins[i]->Start(), length = ins[i]->Length();
        for (int32_t p = start; p < start + length;) {
            int32_t bytes = 0, samples = 0;
            const int32_t want = si.dwSampleSize ? std::min(length - (p - start), 4096) : 1;
            ins[i]->Read(p, want, nullptr, 0, &bytes, &samples);
            std::vector<uint8_t> data(static_cast<size_t>(bytes));
            ins[i]->Read(p, want, data.data(), bytes, &bytes, &samples);
            if (si.fccType == media::kStreamTypeVideo) change(p - start, data);
            outs[i]->Write(media::kAppendPosition, samples, data.data(), int32_t(data.size()),
                           media::kKeyFrameFlag);
            p += samples;
        }
    }
}

std::vector<std::vector<uint8_t>> VideoFrames(const std::string& path) {
    std::vector<std::vector<uint8_t>> frames;
    std::unique_ptr<media::AviFile> file = media::OpenRiffAvi(path);
    if (!file) return frames;
    std::unique_ptr<media::AviStream> video = file->GetStream(0);
    for (int32_t p = video->Start(); p < video->Start() + video->Length(); ++p) {
        int32_t bytes = 0;
        video->Read(p, 1, nullptr, 0, &bytes, nullptr);
        std::vector<uint8_t> frame(static_cast<size_t>(bytes));
        if (bytes) video->Read(p, 1, frame.data(), bytes, &bytes, nullptr);
        frames.push_back(std::move(frame));
    }
    return frames;
}

}  // namespace media_test
