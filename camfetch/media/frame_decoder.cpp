// This file includes jpeglib.h and must never include windows.h: both define `boolean`.
#include "frame_decoder.h"

#include "chroma_means.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace media {

static_assert(kErrorNoImage == JERR_NO_IMAGE, "libjpeg's code for a datastream without image");
static_assert(kErrorEmptyInput == JERR_INPUT_EMPTY, "libjpeg's code for an empty input");

namespace {

constexpr size_t kTransferBufferSize = 4096;

}  // namespace

// Everything one decode needs; libjpeg's callbacks reach it from the structures they are given.
struct FrameDecoder::State {
    struct ErrorManager {
        jpeg_error_mgr pub;
        State* owner;
    };
    // Reads the compressed frame from memory through a transfer buffer.
    struct FrameMemorySource {
        jpeg_source_mgr pub;
        State* owner;
        const uint8_t* start;
        size_t length;
        size_t position;
        JOCTET* buffer;
        bool startOfFile;
    };

    jpeg_decompress_struct cinfo;
    DecodePath path = DecodePath::kFast;      // the way frames may take
    DecodePath lastPath = DecodePath::kFast;  // the way the latest frame took
    ErrorManager error;
    FrameMemorySource source;
    std::jmp_buf unwind;
    char message[JMSG_LENGTH_MAX];
    std::string lastMessage;
};

namespace {

using State = FrameDecoder::State;

State* OwnerOf(j_common_ptr cinfo) {
    return reinterpret_cast<State::ErrorManager*>(cinfo->err)->owner;
}

// Keeps the message instead of printing it: a windowed program has no console to show it on.
void DecoderOutputMessage(j_common_ptr cinfo) {
    State* state = OwnerOf(cinfo);
    (*cinfo->err->format_message)(cinfo, state->message);
}

[[noreturn]] void DecoderErrorExit(j_common_ptr cinfo) {
    State* state = OwnerOf(cinfo);
    (*cinfo->err->format_message)(cinfo, state->message);
    std::longjmp(state->unwind, cinfo->err->msg_code != 0 ? cinfo->err->msg_code : -2);
}

State::FrameMemorySource* SourceOf(j_decompress_ptr cinfo) {
    return reinterpret_cast<State::FrameMemorySource*>(cinfo->src);
}

void SourceInit(j_decompress_ptr cinfo) { SourceOf(cinfo)->startOfFile = true; }

boolean SourceFill(j_decompress_ptr cinfo) {
    State::FrameMemorySource* src = SourceOf(cinfo);
    size_t count = std::min(kTransferBufferSize, src->length - src->position);
    if (count == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // Complete a frame that stops short with an end-of-image marker; libjpeg fills in
        // the rest of the picture from what it has.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        count = 2;
    } else {
        std::memcpy(src->buffer, src->start + src->position, count);
        src->position += count;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = count;
    src->startOfFile = false;
    return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    size_t remaining = static_cast<size_t>(count);
    while (remaining > src->bytes_in_buffer) {
        remaining -= src->bytes_in_buffer;
        SourceFill(cinfo);
    }
    src->next_input_byte += remaining;
    src->bytes_in_buffer -= remaining;
}

void SourceTerm(j_decompress_ptr) {}

// Reads rows until `rows` rows have arrived; libjpeg may hand out fewer rows per call than asked
// (one at a time for frames without vertical subsampling).
void ReadRows(j_decompress_ptr cinfo, JSAMPARRAY rows, JDIMENSION count) {
    JDIMENSION got = 0;
    while (got < count) {
        const JDIMENSION read = jpeg_read_scanlines(cinfo, rows + got, count - got);
        if (read == 0) ERREXIT(cinfo, JERR_CANT_SUSPEND);  // never expected from a memory source
        got += read;
    }
}

// Repacks one pair of interleaved YCbCr rows (`b` may equal `a` for a lone last row).
void PackRowPair(const JSAMPLE* a, const JSAMPLE* b, bool second, uint32_t width, uint8_t* y0,
                 uint8_t* y1, uint8_t* cb, uint8_t* cr) {
    const uint32_t pairs = width / 2;
    for (uint32_t i = 0; i < pairs; ++i) {
        const JSAMPLE* p = a + 6 * i;
        const JSAMPLE* q = b + 6 * i;
        y0[2 * i] = p[0];
        y0[2 * i + 1] = p[3];
        cb[i] = static_cast<uint8_t>((p[1] + p[4] + q[1] + q[4]) >> 2);
        cr[i] = static_cast<uint8_t>((p[2] + p[5] + q[2] + q[5]) >> 2);
    }
    if (width & 1) {
        const JSAMPLE* p = a + 3 * (width - 1);
        const JSAMPLE* q = b + 3 * (width - 1);
        y0[width - 1] = p[0];
        cb[pairs] = static_cast<uint8_t>((2 * p[1] + 2 * q[1]) >> 2);
        cr[pairs] = static_cast<uint8_t>((2 * p[2] + 2 * q[2]) >> 2);
    }
    if (second) {
        for (uint32_t x = 0; x < width; ++x) y1[x] = b[3 * x];
    }
}

// The reference way: full-resolution YCbCr scanlines, two at a time, repacked.
void DecodeScanlines(j_decompress_ptr cinfo, uint8_t* out) {
    const uint32_t width = cinfo->output_width, height = cinfo->output_height;
    JSAMPARRAY rows = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                  JPOOL_IMAGE, width * 3, 2);
    const uint32_t chromaWidth = (width + 1) / 2;
    const uint32_t chromaHeight = (height + 1) / 2;
    uint8_t* yPlane = out;
    uint8_t* cbPlane = out + size_t(width) * height;
    uint8_t* crPlane = cbPlane + size_t(chromaWidth) * chromaHeight;
    for (uint32_t pair = 0; cinfo->output_scanline < height; ++pair) {
        const bool second = cinfo->output_scanline + 1 < height;
        ReadRows(cinfo, rows, second ? 2 : 1);
        uint8_t* y0 = yPlane + size_t(2 * pair) * width;
        PackRowPair(rows[0], second ? rows[1] : rows[0], second, width, y0, y0 + width,
                    cbPlane + size_t(pair) * chromaWidth, crPlane + size_t(pair) * chromaWidth);
    }
}

// Whether the frame can be decoded as raw component planes with the same result: three
// components coded as YCbCr in one of the 4:2:2 and 4:2:0 layouts below, every component at
// the full DCT size, and the decoder's smooth upsampling on (the rules the chroma means
// follow). Called before decompression starts, with the output set up.
bool TakesRawPlanes(j_decompress_ptr cinfo) {
    // Sampling factors (luma h, v, chroma h, v) that fit an interleaved scan: 4:2:2 as written
    // by most encoders, by ffmpeg, and with doubled factors; 4:2:0.
    static const int kLayouts[][4] = {{2, 1, 1, 1}, {2, 2, 1, 2}, {4, 1, 2, 1}, {2, 2, 1, 1}};
    if (cinfo->num_components != 3 || cinfo->jpeg_color_space != JCS_YCbCr ||
        cinfo->out_color_space != JCS_YCbCr || !cinfo->do_fancy_upsampling ||
        cinfo->CCIR601_sampling || cinfo->quantize_colors || cinfo->buffered_image)
        return false;
    const jpeg_component_info* c = cinfo->comp_info;
    bool known = false;
    for (const int* l : kLayouts)
        known = known || (c[0].h_samp_factor == l[0] && c[0].v_samp_factor == l[1] &&
                          c[1].h_samp_factor == l[2] && c[1].v_samp_factor == l[3] &&
                          c[2].h_samp_factor == l[2] && c[2].v_samp_factor == l[3]);
    if (!known) return false;
    jpeg_calc_output_dimensions(cinfo);
    if (cinfo->output_width != cinfo->image_width || cinfo->output_height != cinfo->image_height ||
        cinfo->min_DCT_scaled_size != DCTSIZE)
        return false;
    for (int i = 0; i < 3; ++i)
        if (c[i].DCT_scaled_size != DCTSIZE) return false;
    return true;
}

// Reads one iMCU row of raw planes: v x 8 rows of each component, v its vertical sampling.
void ReadRawRows(j_decompress_ptr cinfo, JSAMPARRAY luma, JSAMPARRAY cb, JSAMPARRAY cr) {
    JSAMPARRAY planes[3] = {luma, cb, cr};
    const JDIMENSION rows = JDIMENSION(cinfo->max_v_samp_factor * DCTSIZE);
    if (jpeg_read_raw_data(cinfo, planes, rows) != rows)
        ERREXIT(cinfo, JERR_CANT_SUSPEND);  // never expected from a memory source
}

// The fast way. Each call of libjpeg yields a strip of picture rows with the raw chroma rows
// that cover them: as many for 4:2:2 (one per picture row), half as many for 4:2:0. Luma rows
// are copied as they are; 4:2:2 chroma rows pair up within the strip; a 4:2:0 chroma row also
// needs the rows above and below it, so the last one of a strip waits for the next strip,
// which is read into the other half of a two-strip chroma buffer.
void DecodeRawPlanes(j_decompress_ptr cinfo, uint8_t* out) {
    const uint32_t width = cinfo->output_width, height = cinfo->output_height;
    const uint32_t chromaWidth = (width + 1) / 2;
    const uint32_t chromaHeight = (height + 1) / 2;
    const jpeg_component_info* c = cinfo->comp_info;
    const bool h2v2 = c[0].v_samp_factor == 2 * c[1].v_samp_factor;
    const uint32_t stripRows = uint32_t(c[0].v_samp_factor) * DCTSIZE;
    const uint32_t chromaStripRows = uint32_t(c[1].v_samp_factor) * DCTSIZE;
    // libjpeg writes whole blocks.
    const j_common_ptr common = reinterpret_cast<j_common_ptr>(cinfo);
    JSAMPARRAY luma =
        (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, c[0].width_in_blocks * DCTSIZE, stripRows);
    JSAMPARRAY cb = (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, c[1].width_in_blocks * DCTSIZE,
                                                2 * chromaStripRows);
    JSAMPARRAY cr = (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, c[2].width_in_blocks * DCTSIZE,
                                                2 * chromaStripRows);

    uint8_t* yPlane = out;
    uint8_t* cbPlane = out + size_t(width) * height;
    uint8_t* crPlane = cbPlane + size_t(chromaWidth) * chromaHeight;
    const uint32_t rawChromaRows = h2v2 ? chromaHeight : height;
    for (uint32_t strip = 0; strip * stripRows < height; ++strip) {
        const uint32_t half = (strip & 1) * chromaStripRows;
        ReadRawRows(cinfo, luma, cb + half, cr + half);
        const uint32_t top = strip * stripRows;
        for (uint32_t r = 0; r < stripRows && top + r < height; ++r)
            std::memcpy(yPlane + size_t(top + r) * width, luma[r], width);

        const uint32_t first = strip * chromaStripRows;  // raw chroma row at the strip's top
        if (!h2v2) {
            // Picture rows 2p and 2p + 1 of the strip: raw chroma rows 2p and 2p + 1.
            for (uint32_t p = 0; 2 * p < chromaStripRows && first + 2 * p < rawChromaRows; ++p) {
                const uint32_t upper = half + 2 * p;
                const uint32_t lower = first + 2 * p + 1 < rawChromaRows ? upper + 1 : upper;
                const size_t at = size_t(first / 2 + p) * chromaWidth;
                ChromaMeansH2V1(cb[upper], cb[lower], chromaWidth, width, cbPlane + at);
                ChromaMeansH2V1(cr[upper], cr[lower], chromaWidth, width, crPlane + at);
            }
            continue;
        }
        // Raw chroma row k of the picture, as a row of the two-strip buffer.
        auto slot = [&](uint32_t k) { return k % (2 * chromaStripRows); };
        auto means = [&](uint32_t k) {
            const uint32_t above = k > 0 ? slot(k - 1) : slot(k);
            const uint32_t below = k + 1 < rawChromaRows ? slot(k + 1) : slot(k);
            const bool lone = 2 * k + 1 >= height;
            const size_t at = size_t(k) * chromaWidth;
            ChromaMeansH2V2(cb[above], cb[slot(k)], cb[below], lone, chromaWidth, width,
                            cbPlane + at);
            ChromaMeansH2V2(cr[above], cr[slot(k)], cr[below], lone, chromaWidth, width,
                            crPlane + at);
        };
        // The previous strip's last row, now that the row below it has arrived.
        if (strip > 0) means(first - 1);
        const uint32_t last = first + chromaStripRows - 1;
        for (uint32_t k = first; k <= last && k < rawChromaRows; ++k) {
            if (k == last && k + 1 < rawChromaRows) break;  // waits for the next strip
            means(k);
        }
    }
}

// The decode proper. libjpeg's error exit jumps back into this function, so its locals are
// plain data and everything that must survive the jump lives in `state`.
int DecodeUnwinding(State& state, const uint8_t* data, size_t length, uint8_t* out, size_t capacity,
                    uint32_t wantWidth, uint32_t wantHeight, size_t* written) {
    j_decompress_ptr cinfo = &state.cinfo;
    *written = 0;
    state.lastPath = DecodePath::kReference;
    int code = setjmp(state.unwind);
    if (code != 0) {
        jpeg_destroy_decompress(cinfo);
        return code;
    }

    State::FrameMemorySource& src = state.source;
    src.start = data;
    src.length = data ? length : 0;
    src.position = 0;

    cinfo->err = jpeg_std_error(&state.error.pub);
    state.error.pub.error_exit = DecoderErrorExit;
    state.error.pub.output_message = DecoderOutputMessage;
    state.error.owner = &state;
    jpeg_create_decompress(cinfo);

    src.buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kTransferBufferSize));
    src.pub.init_source = SourceInit;
    src.pub.fill_input_buffer = SourceFill;
    src.pub.skip_input_data = SourceSkip;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = SourceTerm;
    src.pub.bytes_in_buffer = 0;
    src.pub.next_input_byte = nullptr;
    src.owner = &state;
    cinfo->src = &src.pub;

    // Frames without their own Huffman tables (usual for Motion-JPEG) decode with the standard
    // tables, which libjpeg supplies; only a datastream without any image is refused.
    if (jpeg_read_header(cinfo, FALSE) != JPEG_HEADER_OK) {
        state.error.pub.msg_code = JERR_NO_IMAGE;
        (*state.error.pub.format_message)(reinterpret_cast<j_common_ptr>(cinfo), state.message);
        jpeg_destroy_decompress(cinfo);
        return kErrorNoImage;
    }
    cinfo->out_color_space = JCS_YCbCr;
    const uint32_t width = cinfo->image_width;
    const uint32_t height = cinfo->image_height;
    if ((wantWidth != 0 && (width != wantWidth || height != wantHeight)) ||
        I420FrameSize(width, height) > capacity) {
        std::snprintf(state.message, sizeof state.message, "Frame of %ux%u does not fit the clip",
                      width, height);
        jpeg_destroy_decompress(cinfo);
        return kErrorFrameDoesNotFit;
    }
    if (state.path == DecodePath::kFast && TakesRawPlanes(cinfo)) {
        state.lastPath = DecodePath::kFast;
        cinfo->raw_data_out = TRUE;
    }
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 3 || cinfo->output_width != width ||
        cinfo->output_height != height) {
        jpeg_destroy_decompress(cinfo);
        return kErrorFrameDoesNotFit;
    }
    if (cinfo->raw_data_out)
        DecodeRawPlanes(cinfo, out);
    else
        DecodeScanlines(cinfo, out);
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    *written = I420FrameSize(width, height);
    return 0;
}

}  // namespace

size_t I420FrameSize(uint32_t width, uint32_t height) {
    const size_t chroma = size_t((width + 1) / 2) * ((height + 1) / 2);
    return size_t(width) * height + 2 * chroma;
}

FrameDecoder::FrameDecoder(DecodePath path) : state_(new State()) { state_->path = path; }
FrameDecoder::~FrameDecoder() = default;

const std::string& FrameDecoder::LastMessage() const { return state_->lastMessage; }

DecodePath FrameDecoder::LastPath() const { return state_->lastPath; }

DecodeResult FrameDecoder::DecodeFrameToI420(const uint8_t* data, size_t length, uint8_t* out,
                                             size_t capacity, uint32_t width, uint32_t height) {
    state_->message[0] = '\0';
    size_t written = 0;
    DecodeResult result;
    result.error = DecodeUnwinding(*state_, data, length, out, capacity, width, height, &written);
    result.length = result.error == 0 ? written : 0;
    state_->lastMessage = state_->message;
    return result;
}

void MirrorI420Frame(uint8_t* frame, uint32_t width, uint32_t height, uint32_t stride) {
    auto mirrorPlane = [](uint8_t* plane, uint32_t rowLength, uint32_t rows, uint32_t rowStride) {
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* row = plane + size_t(r) * rowStride;
            std::reverse(row, row + rowLength);
        }
    };
    const uint32_t chromaWidth = (width + 1) / 2;
    const uint32_t chromaHeight = (height + 1) / 2;
    const uint32_t chromaStride = (stride + 1) / 2;
    uint8_t* cb = frame + size_t(stride) * height;
    uint8_t* cr = cb + size_t(chromaStride) * chromaHeight;
    mirrorPlane(frame, width, height, stride);
    mirrorPlane(cb, chromaWidth, chromaHeight, chromaStride);
    mirrorPlane(cr, chromaWidth, chromaHeight, chromaStride);
}

}  // namespace media
