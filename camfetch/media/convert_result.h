// The outcome of a clip conversion. A header of its own, apart from the conversion, so that
// the download run (which does not link the decoder) can name it.
#pragma once

#include <ostream>

namespace media {

// The values are the conversion's step codes: 0 for success, and the step that failed.
enum class ConvertResult {
    Converted = 0,        // the file at the path is now the I420 clip
    CannotOpen = 1,       // the clip cannot be opened, or the output cannot be created or
                          // put in its place
    CannotGetStream = 2,  // one of the clip's streams cannot be obtained
    NotMotionJpeg = 3,    // no video stream with handler "MJPG"
    NotEnoughSpace = 4,   // not enough free space (or memory) for the converted video
    CannotCreateStream = 5,
    CannotSetFormat = 6,
    WriteFailed = 7,     // writing a frame or sound run fails, or the output is incomplete
    NoFrameDecoded = 8,  // the clip has frames, and not one of them decodes
    Cancelled = 9,       // stopped by its caller before the clip was replaced
};

// The result in words with its code, for failure messages: "write failed (7)".
inline const char* ConvertResultText(ConvertResult result) {
    switch (result) {
    case ConvertResult::Converted: return "converted (0)";
    case ConvertResult::CannotOpen: return "cannot open (1)";
    case ConvertResult::CannotGetStream: return "cannot get a stream (2)";
    case ConvertResult::NotMotionJpeg: return "not Motion-JPEG (3)";
    case ConvertResult::NotEnoughSpace: return "not enough space (4)";
    case ConvertResult::CannotCreateStream: return "cannot create a stream (5)";
    case ConvertResult::CannotSetFormat: return "cannot set the format (6)";
    case ConvertResult::WriteFailed: return "write failed (7)";
    case ConvertResult::NoFrameDecoded: return "no frame decoded (8)";
    case ConvertResult::Cancelled: return "cancelled (9)";
    }
    return "unknown result";
}

// For test messages (GoogleTest's and wintest's): the same words.
inline std::ostream& operator<<(std::ostream& out, ConvertResult result) {
    return out << ConvertResultText(result);
}

}  // namespace media
