#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "swf/SwfStream.h"

namespace vantrel::test {

using Bytes = std::vector<std::uint8_t>;

// The logical content of a stream (bytes with payloads spliced in), read by
// writing it to a temporary file. Consumes the stream's references.
inline Bytes contentOf(SwfStream& stream) {
    std::FILE* f = std::tmpfile();
    stream.writeToFile(f);
    Bytes out(static_cast<std::size_t>(std::ftell(f)));
    std::rewind(f);
    const std::size_t got = std::fread(out.data(), 1, out.size(), f);
    out.resize(got);
    std::fclose(f);
    return out;
}

// The committed bytes of a stream, without referenced payloads.
inline Bytes committed(const SwfStream& stream) {
    return Bytes(stream.bytes(), stream.bytes() + stream.count());
}

// What an object with write(SwfStream&) writes, payloads spliced in.
template <typename T>
Bytes written(const T& object) {
    SwfStream s;
    object.write(s);
    s.align();
    return contentOf(s);
}

inline Bytes readFile(const std::filesystem::path& path) {
    Bytes out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return out;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
    std::fclose(f);
    return out;
}

// The bytes of a gzipped file, such as FFmpeg's decode of test video frames
// (24-bit rows: blue, green, red); empty when it cannot be read.
inline Bytes gunzipped(const std::filesystem::path& path) {
    Bytes bytes;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    std::uint8_t buffer[16384];
    for (int n; (n = gzread(file, buffer, sizeof buffer)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    gzclose(file);
    return bytes;
}

// The PNG file with one bit changed in the checksum of its first chunk of
// `type`; unchanged when it has none.
inline Bytes withBadChecksum(Bytes png, const std::string& type) {
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length =
            std::size_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        if (at + 12 + length > png.size()) break;
        if (std::string(png.begin() + at + 4, png.begin() + at + 8) == type) {
            png[at + 11 + length] ^= 0x01;
            break;
        }
        at += 12 + length;
    }
    return png;
}

// "46 57 53" -> bytes.
inline Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

// Reads SWF bit fields most significant bit first, for checking our output.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint32_t readUBits(unsigned n) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            const std::size_t byte = bit_ / 8;
            const unsigned bit = 7 - bit_ % 8;
            const std::uint32_t b = byte < size_ ? (data_[byte] >> bit) & 1u : 0u;
            v = (v << 1) | b;
            ++bit_;
        }
        return v;
    }
    std::int32_t readSBits(unsigned n) {
        const std::uint32_t v = readUBits(n);
        if (n == 0) return 0;
        if (n < 32 && (v & (1u << (n - 1)))) return static_cast<std::int32_t>(v | ~((1u << n) - 1));
        return static_cast<std::int32_t>(v);
    }
    void align() { bit_ = (bit_ + 7) / 8 * 8; }
    std::uint32_t readU8() {
        align();
        return readUBits(8);
    }
    std::uint32_t readU16() {
        const std::uint32_t lo = readU8();
        return lo | readU8() << 8;
    }
    std::size_t bytePosition() const { return (bit_ + 7) / 8; }
    std::size_t bitPosition() const { return bit_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_ = 0;
};

}  // namespace vantrel::test
