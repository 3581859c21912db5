// The floor under vantrel-cli for bench_cli.sh: the bare library calls a
// conversion consists of, on one thread, with nothing of the movie around
// them. Every encoded frame is appended to one output file.
//
//   bench_floor pictures OUT jpeg|zlib|libdeflate QUALITY LIST
//       reads each file named in LIST (one path a line), decodes it (BMP with
//       the project's reader, JPEG with TurboJPEG), then encodes it as JPEG
//       4:2:0 at QUALITY with TurboJPEG, or compresses its alpha, red, green,
//       blue bytes into one zlib stream at level 9 with zlib or libdeflate.
//   bench_floor video OUT QUALITY RATE VIDEO [WxH]
//       decodes every frame of VIDEO with libavcodec on one thread; the
//       frames the tool samples at RATE frames per second are converted to
//       32-bit pixels with one sws_scale each and encoded as JPEG; with WxH,
//       scaled to W x H pixels in that call, with the tool's filter.
//
// Prints the frames and bytes written.
#include <turbojpeg.h>
#include <zlib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}
#ifdef VANTREL_FLOOR_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "image/BmpReader.h"
#include "image/PictureScaler.h"

namespace {

constexpr int kDeflateLevel = 9;

[[noreturn]] void die(const std::string& why) {
    std::cerr << "bench_floor: " << why << "\n";
    std::exit(1);
}

struct Output {
    explicit Output(const char* path) : file(std::fopen(path, "wb")) {
        if (file == nullptr) die(std::string("cannot write ") + path);
    }
    ~Output() { std::fclose(file); }
    void write(const unsigned char* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file) != size) die("write failed");
        bytes += size;
        ++frames;
    }
    std::FILE* file;
    std::size_t bytes = 0;
    std::size_t frames = 0;
};

class JpegWriter {
  public:
    explicit JpegWriter(int quality) : quality_(quality), handle_(tjInitCompress()) {}
    ~JpegWriter() {
        tjFree(buffer_);
        tjDestroy(handle_);
    }
    void encode(const unsigned char* bgrx, int width, int pitch, int height, Output& out) {
        // A buffer of the worst-case size, made once per picture size.
        const unsigned long capacity = tjBufSize(width, height, TJSAMP_420);
        if (capacity > capacity_) {
            tjFree(buffer_);
            buffer_ = tjAlloc(static_cast<int>(capacity));
            capacity_ = capacity;
        }
        unsigned long size = capacity_;
        if (tjCompress2(handle_, bgrx, width, pitch, height, TJPF_BGRX, &buffer_, &size, TJSAMP_420,
                        quality_, TJFLAG_NOREALLOC) != 0) {
            die(std::string("tjCompress2: ") + tjGetErrorStr2(handle_));
        }
        out.write(buffer_, size);
    }

  private:
    int quality_;
    tjhandle handle_;
    unsigned char* buffer_ = nullptr;
    unsigned long capacity_ = 0;
};

// One read of the whole file into a buffer kept from picture to picture.
void readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) die("cannot read " + path);
    std::fseek(file, 0, SEEK_END);
    bytes.resize(static_cast<std::size_t>(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (got != bytes.size()) die("cannot read " + path);
}

bool endsWith(const std::string& text, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

int pictures(const char* outPath, const std::string& codec, int quality, const char* listPath) {
    std::ifstream list(listPath);
    Output out(outPath);
    JpegWriter jpeg(quality);
    tjhandle decompressor = tjInitDecompress();
#ifdef VANTREL_FLOOR_LIBDEFLATE
    libdeflate_compressor* deflater = libdeflate_alloc_compressor(kDeflateLevel);
#endif
    vantrel::RasterImage picture;
    std::vector<std::uint8_t> argb;
    std::vector<std::uint8_t> packed;
    std::vector<std::uint8_t> file;
    std::string path;
    while (std::getline(list, path)) {
        readFile(path, file);
        if (endsWith(path, ".bmp")) {
            if (!vantrel::decodeBmp(picture, file.data(), static_cast<std::uint32_t>(file.size()),
                                    true)) {
                die("cannot decode " + path);
            }
        } else {
            int width = 0, height = 0, subsampling = 0, colorspace = 0;
            if (tjDecompressHeader3(decompressor, file.data(), file.size(), &width, &height,
                                    &subsampling, &colorspace) != 0) {
                die("cannot decode " + path);
            }
            picture.resize(width, height);
            if (tjDecompress2(decompressor, file.data(), file.size(),
                              reinterpret_cast<unsigned char*>(picture.pixels.data()), width, 0,
                              height, TJPF_BGRA, 0) != 0) {
                die("cannot decode " + path);
            }
        }
        const auto* bgra = reinterpret_cast<const unsigned char*>(picture.pixels.data());
        if (codec == "jpeg") {
            jpeg.encode(bgra, picture.width, 0, picture.height, out);
            continue;
        }
        // The lossless bitmaps hold alpha, red, green, blue bytes.
        argb.resize(picture.pixels.size() * 4);
        for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
            const std::uint32_t p = picture.pixels[i];
            argb[i * 4] = static_cast<std::uint8_t>(p >> 24);
            argb[i * 4 + 1] = static_cast<std::uint8_t>(p >> 16);
            argb[i * 4 + 2] = static_cast<std::uint8_t>(p >> 8);
            argb[i * 4 + 3] = static_cast<std::uint8_t>(p);
        }
        if (codec == "zlib") {
            uLongf size = compressBound(argb.size());
            packed.resize(size);
            if (compress2(packed.data(), &size, argb.data(), argb.size(), kDeflateLevel) != Z_OK)
                die("compress2 failed");
            out.write(packed.data(), size);
#ifdef VANTREL_FLOOR_LIBDEFLATE
        } else if (codec == "libdeflate") {
            packed.resize(libdeflate_zlib_compress_bound(deflater, argb.size()));
            const std::size_t size = libdeflate_zlib_compress(deflater, argb.data(), argb.size(),
                                                              packed.data(), packed.size());
            if (size == 0) die("libdeflate_zlib_compress failed");
            out.write(packed.data(), size);
#endif
        } else {
            die("unknown codec " + codec);
        }
    }
#ifdef VANTREL_FLOOR_LIBDEFLATE
    libdeflate_free_compressor(deflater);
#endif
    tjDestroy(decompressor);
    std::cout << out.frames << " frames, " << out.bytes << " bytes\n";
    return 0;
}

int video(const char* outPath, int quality, double rate, const char* videoPath, int toWidth,
          int toHeight) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, videoPath, nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0) {
        die(std::string("cannot open ") + videoPath);
    }
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream < 0) die("no video stream");
    AVStream* video = format->streams[stream];
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, video->codecpar);
    context->thread_count = 1;
    if (avcodec_open2(context, codec, nullptr) < 0) die("cannot open the decoder");

    // The tool's sampling: frame i of the movie shows source frame
    // (count - 1) * i / total, total being the whole frames at RATE.
    const std::int64_t count = video->nb_frames;
    if (count <= 0) die("the container does not count its frames");
    const double seconds = static_cast<double>(count) / av_q2d(video->avg_frame_rate);
    const auto total = static_cast<std::int64_t>(seconds * rate);
    std::int64_t sample = 0;
    auto sampledIndex = [&](std::int64_t i) { return (count - 1) * i / total; };

    Output out(outPath);
    JpegWriter jpeg(quality);
    SwsContext* scaler = nullptr;
    std::vector<std::uint8_t> bgra;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::int64_t decoded = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            while (sample < total && sampledIndex(sample) == decoded) {
                const int width = toWidth > 0 ? toWidth : frame->width;
                const int height = toHeight > 0 ? toHeight : frame->height;
                const bool scaled = width != frame->width || height != frame->height;
                scaler = sws_getCachedContext(
                    scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                    width, height, AV_PIX_FMT_BGRA,
                    scaled ? vantrel::kDownscaleFilter : SWS_BICUBIC, nullptr, nullptr, nullptr);
                // A spare row: libswscale's vector code may write past the last.
                bgra.resize(static_cast<std::size_t>(width) * (height + 1) * 4);
                std::uint8_t* planes[4] = {bgra.data(), nullptr, nullptr, nullptr};
                const int strides[4] = {width * 4, 0, 0, 0};
                sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
                jpeg.encode(bgra.data(), width, width * 4, height, out);
                ++sample;
            }
            ++decoded;
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) {
            avcodec_send_packet(context, packet);
            drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    drain();

    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    std::cout << out.frames << " frames of " << decoded << " decoded, " << out.bytes << " bytes\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "pictures" && argc == 6) {
        return pictures(argv[2], argv[3], std::stoi(argv[4]), argv[5]);
    }
    if (mode == "video" && (argc == 6 || argc == 7)) {
        int width = 0, height = 0;
        if (argc == 7 && std::sscanf(argv[6], "%dx%d", &width, &height) != 2) die("bad WxH");
        return video(argv[2], std::stoi(argv[3]), std::stod(argv[4]), argv[5], width, height);
    }
    std::cerr << "usage: bench_floor pictures OUT jpeg|zlib"
#ifdef VANTREL_FLOOR_LIBDEFLATE
                 "|libdeflate"
#endif
                 " QUALITY LIST\n"
                 "       bench_floor video OUT QUALITY RATE VIDEO [WxH]\n";
    return 2;
}
