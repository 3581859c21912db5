#include "image/JpegCodec.h"

#include <algorithm>
#include <csetjmp>
#include <new>
#include <string>

// jpeglib.h uses FILE and size_t without declaring them itself.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "image/ImageReaders.h"

namespace vantrel {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return;
// it jumps back to the setjmp of the call that owns the codec. Only C frames
// and functions without destructors lie between the two.
struct ErrorHandler {
    jpeg_error_mgr manager;  // first, so the library's pointer is also ours
    std::jmp_buf jump;
};

[[noreturn]] void failCall(j_common_ptr codec) {
    std::longjmp(reinterpret_cast<ErrorHandler*>(codec->err)->jump, 1);
}

// Warnings are silent; only a premature end of the data is fatal, whether the
// file stops or a marker cuts the picture's data short, so that a damaged file
// is refused instead of decoding as a grey-filled picture. A few bytes could
// otherwise make the decoder fill a picture of tens of millions of pixels.
void onMessage(j_common_ptr codec, int level) {
    if (level < 0 && (codec->err->msg_code == JWRN_JPEG_EOF ||
                      codec->err->msg_code == JWRN_HIT_MARKER)) {
        failCall(codec);
    }
}

void installHandler(ErrorHandler& handler) {
    jpeg_std_error(&handler.manager);
    handler.manager.error_exit = failCall;
    handler.manager.emit_message = onMessage;
}

// Refuses with the library's own words for the error (or fatal warning)
// that stopped the codec, sorted by its message code.
bool refuseWith(Fault* why, j_common_ptr codec) {
    if (why == nullptr) return false;
    char words[JMSG_LENGTH_MAX];
    codec->err->format_message(codec, words);
    FaultCode code = FaultCode::Damaged;
    switch (codec->err->msg_code) {
        case JERR_OUT_OF_MEMORY:
            code = FaultCode::OutOfMemory;
            break;
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            code = FaultCode::TooLarge;
            break;
        case JERR_BAD_PRECISION:
        case JERR_CCIR601_NOTIMPL:
        case JERR_COMPONENT_COUNT:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_FRACT_SAMPLE_NOTIMPL:
        case JERR_NOTIMPL:
        case JERR_NOT_COMPILED:
        case JERR_SOF_UNSUPPORTED:
            code = FaultCode::Unsupported;
            break;
        default:
            break;
    }
    return refusePicture(why, code, words);
}

// The codec records; zero-filled, so destroying one that was never created is
// harmless.
struct Decompressor {
    jpeg_decompress_struct codec{};
    ErrorHandler errors;
    ~Decompressor() { jpeg_destroy_decompress(&codec); }
};

struct Compressor {
    jpeg_compress_struct codec{};
    ErrorHandler errors;
    ~Compressor() { jpeg_destroy_compress(&codec); }
};

// Converts the decoder's C, M, Y, K bytes in place to blue, green, red and
// alpha 255. Adobe's files (and every file with a YCCK transform) store the
// inks inverted, 255 meaning none; the rest store them plainly. There is no
// colour management: each ink simply takes away from its complement.
void cmykToBgra(RasterImage& picture, bool inverted) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(picture.pixels.data());
    const std::size_t count = picture.pixels.size();
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* p = bytes + i * 4;
        std::uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        picture.pixels[i] =
            packPixel((y * k + 127) / 255, (m * k + 127) / 255, (c * k + 127) / 255, 255);
    }
}

// Output destination writing straight into the caller's vector, which grows
// as the stream needs, so any picture has room.
struct VectorDestination {
    jpeg_destination_mgr manager;  // first, so the library's pointer is also ours
    std::vector<std::uint8_t>* out;

    static VectorDestination& of(j_compress_ptr codec) {
        return *reinterpret_cast<VectorDestination*>(codec->dest);
    }

    // Resizes the vector to `wanted` bytes, the first `used` of them holding
    // the stream so far; false when memory runs out.
    bool grow(std::size_t used, std::size_t wanted) {
        try {
            out->resize(wanted);
        } catch (const std::bad_alloc&) {
            return false;
        }
        manager.next_output_byte = out->data() + used;
        manager.free_in_buffer = wanted - used;
        return true;
    }

    static void start(j_compress_ptr codec) {
        const std::size_t guess = std::size_t{codec->image_width} * codec->image_height / 4 + 4096;
        if (!of(codec).grow(0, guess)) ERREXIT1(codec, JERR_OUT_OF_MEMORY, 0);
    }
    // Called when the buffer is full. The library's cursor in `manager` may
    // be stale at this point, so the whole buffer counts as used.
    static boolean emptied(j_compress_ptr codec) {
        VectorDestination& self = of(codec);
        const std::size_t used = self.out->size();
        if (!self.grow(used, used * 2)) ERREXIT1(codec, JERR_OUT_OF_MEMORY, 0);
        return TRUE;
    }
    static void finish(j_compress_ptr codec) {
        VectorDestination& self = of(codec);
        self.out->resize(self.out->size() - self.manager.free_in_buffer);
    }
};

// Rows handed to the library per call.
constexpr int kRowBatch = 16;

}  // namespace

// Grey, YCbCr and RGB files decode straight into the picture as blue, green,
// red, alpha 255. CMYK and YCCK files decode to C, M, Y, K bytes in the same
// storage and are converted in place.
bool decodeJpeg(RasterImage& picture, const std::uint8_t* data, std::uint32_t size, Fault* why) {
    if (data == nullptr || size == 0) return refusePicture(why, FaultCode::Damaged, "no data");
    Decompressor d;
    installHandler(d.errors);
    d.codec.err = &d.errors.manager;
    if (setjmp(d.errors.jump) != 0)
        return refuseWith(why, reinterpret_cast<j_common_ptr>(&d.codec));

    jpeg_create_decompress(&d.codec);
    jpeg_mem_src(&d.codec, data, size);
    jpeg_read_header(&d.codec, TRUE);
    bool cmyk = false;
    switch (d.codec.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            d.codec.out_color_space = JCS_EXT_BGRA;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            d.codec.out_color_space = JCS_CMYK;
            cmyk = true;
            break;
        default:
            return refusePicture(why, FaultCode::Unsupported,
                                 "a colour space of " + std::to_string(d.codec.num_components) +
                                     " components is not read");
    }
    // Checked before the library sizes its buffers for the picture.
    if (!fitsPictureLimit(d.codec.image_width, d.codec.image_height))
        return refusePictureSize(why, d.codec.image_width, d.codec.image_height);
    jpeg_start_decompress(&d.codec);
    const JDIMENSION width = d.codec.output_width;
    const JDIMENSION height = d.codec.output_height;
    if (!preparePicture(picture, width, height, why)) return false;

    auto* bytes = reinterpret_cast<JSAMPLE*>(picture.pixels.data());
    JSAMPROW rows[kRowBatch];
    while (d.codec.output_scanline < height) {
        const JDIMENSION first = d.codec.output_scanline;
        const JDIMENSION batch = std::min<JDIMENSION>(kRowBatch, height - first);
        for (JDIMENSION i = 0; i < batch; ++i) rows[i] = bytes + std::size_t{first + i} * width * 4;
        jpeg_read_scanlines(&d.codec, rows, batch);
    }
    jpeg_finish_decompress(&d.codec);
    if (cmyk)
        cmykToBgra(picture, d.codec.saw_Adobe_marker != 0 || d.codec.jpeg_color_space == JCS_YCCK);
    return true;
}

// Baseline, YCbCr 4:2:0, the standard Huffman tables, read straight from the
// picture's 32-bit pixels (the alpha byte is skipped by the library).
bool JpegEncoder::encode(const RasterImage& picture, std::vector<std::uint8_t>& out) const {
    if (picture.width <= 0 || picture.height <= 0 || picture.width > JPEG_MAX_DIMENSION ||
        picture.height > JPEG_MAX_DIMENSION ||
        picture.pixels.size() != std::size_t{static_cast<std::uint32_t>(picture.width)} *
                                     static_cast<std::uint32_t>(picture.height))
        return false;

    Compressor c;
    installHandler(c.errors);
    c.codec.err = &c.errors.manager;
    VectorDestination destination{};
    destination.out = &out;
    destination.manager.init_destination = VectorDestination::start;
    destination.manager.empty_output_buffer = VectorDestination::emptied;
    destination.manager.term_destination = VectorDestination::finish;
    if (setjmp(c.errors.jump) != 0) {
        out.clear();
        return false;
    }

    jpeg_create_compress(&c.codec);
    c.codec.dest = &destination.manager;
    c.codec.image_width = static_cast<JDIMENSION>(picture.width);
    c.codec.image_height = static_cast<JDIMENSION>(picture.height);
    c.codec.input_components = 4;
    c.codec.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c.codec);
    jpeg_set_colorspace(&c.codec, JCS_YCbCr);
    jpeg_set_quality(&c.codec, std::clamp(quality, 1, 100), TRUE);
    c.codec.comp_info[0].h_samp_factor = 2;
    c.codec.comp_info[0].v_samp_factor = 2;
    for (int i = 1; i < 3; ++i) {
        c.codec.comp_info[i].h_samp_factor = 1;
        c.codec.comp_info[i].v_samp_factor = 1;
    }
    c.codec.optimize_coding = FALSE;
    c.codec.dct_method = JDCT_ISLOW;

    out.clear();
    jpeg_start_compress(&c.codec, TRUE);
    // The library only reads the rows, whatever its row type says.
    auto* bytes = reinterpret_cast<JSAMPLE*>(const_cast<std::uint32_t*>(picture.pixels.data()));
    const auto width = static_cast<std::size_t>(picture.width);
    JSAMPROW rows[kRowBatch];
    while (c.codec.next_scanline < c.codec.image_height) {
        const JDIMENSION first = c.codec.next_scanline;
        const JDIMENSION batch = std::min<JDIMENSION>(kRowBatch, c.codec.image_height - first);
        for (JDIMENSION i = 0; i < batch; ++i) rows[i] = bytes + (first + i) * width * 4;
        jpeg_write_scanlines(&c.codec, rows, batch);
    }
    jpeg_finish_compress(&c.codec);
    return true;
}

}  // namespace vantrel
