// The portable AVI reader over any file: the file record, every stream's record and format,
// and every position of every stream, asked first for its size and then read into a buffer
// of exactly that size.
#include <algorithm>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "riff_avi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::ScratchFolder() + "input.avi";
    fuzz::WriteBytes(path, data, size);
    std::unique_ptr<media::AviFile> file = media::OpenRiffAvi(path);
    if (!file) return 0;
    media::AviFileInfo info;
    FUZZ_CHECK(file->Info(info), "file record");
    FUZZ_CHECK(!file->CreateStream(media::AviStreamInfo()),
               "a clip opened for reading takes no streams");
    int64_t budget = 1 << 14;  // reads per input, so a file of many tiny chunks stays quick
    for (uint32_t s = 0; s < std::min<uint32_t>(info.streams, 100); ++s) {
        std::unique_ptr<media::AviStream> stream = file->GetStream(s);
        if (!stream) continue;
        media::AviStreamInfo streamInfo;
        FUZZ_CHECK(stream->Info(streamInfo), "stream record");
        FUZZ_CHECK(streamInfo.szName[sizeof streamInfo.szName - 1] == '\0', "name ends");
        int32_t formatSize = 0;
        FUZZ_CHECK(stream->ReadFormat(0, nullptr, &formatSize) == 0 && formatSize >= 0,
                   "format size");
        std::vector<uint8_t> format(static_cast<size_t>(formatSize));
        int32_t got = formatSize;
        FUZZ_CHECK(stream->ReadFormat(0, format.data(), &got) == 0 && got == formatSize, "format");

        const int32_t start = stream->Start();
        const int32_t length = stream->Length();
        FUZZ_CHECK(length >= 0, "length");
        for (int64_t p = start; p < int64_t(start) + length && budget-- > 0; ++p) {
            const int32_t samples = streamInfo.dwSampleSize ? 4096 : 1;
            int32_t bytes = -1, read = -1;
            if (stream->Read(int32_t(p), samples, nullptr, 0, &bytes, &read) != 0) continue;
            FUZZ_CHECK(bytes >= 0 && read >= 1, "size of a position");
            std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(bytes) + 1]);
            int32_t gotBytes = -1, gotSamples = -1;
            if (stream->Read(int32_t(p), samples, buffer.get(), bytes, &gotBytes, &gotSamples) != 0)
                continue;
            FUZZ_CHECK(gotBytes <= bytes && gotSamples >= 1, "read within its size");
            if (streamInfo.dwSampleSize) p += gotSamples - 1;
        }
    }
    return 0;
}
