#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Bytes.h"

namespace vantrel::test {

// Runs a shell command and returns what it printed on standard output;
// empty when it could not run.
inline std::string commandOutput(const std::string& command) {
    std::string out;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

// Runs the ffmpeg program quietly with the arguments; true when it succeeded.
inline bool ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments).c_str()) ==
           0;
}

// Runs ffmpeg with the arguments, writing `output`; true when it succeeded.
inline bool ffmpeg(const std::string& arguments, const std::filesystem::path& output) {
    return ffmpeg(arguments + " '" + output.string() + "'");
}

// Runs ImageMagick's convert program with the arguments; true when it succeeded.
inline bool magick(const std::string& arguments) {
    return std::system(("convert " + arguments).c_str()) == 0;
}

// Samples per channel that FFmpeg decodes from the audio file at path.
inline long decodedSamples(const std::string& path) {
    const std::string out = commandOutput("ffmpeg -nostdin -v error -i '" + path +
                                          "' -map 0:a:0 -ac 1 -c:a pcm_s16le -f s16le - | wc -c");
    return out.empty() ? -1 : std::stol(out) / 2;
}

// The first audio stream of the file at path as FFmpeg decodes it, mixed
// to one channel, read by the demuxer named (FFmpeg's guess when empty).
inline std::vector<float> decodedSound(const std::string& path, const std::string& demuxer = "") {
    const std::string out =
        commandOutput("ffmpeg -nostdin -v error " + (demuxer.empty() ? "" : "-f " + demuxer) +
                      " -i '" + path + "' -map 0:a:0 -ac 1 -c:a pcm_f32le -f f32le -");
    std::vector<float> samples(out.size() / sizeof(float));
    std::memcpy(samples.data(), out.data(), samples.size() * sizeof(float));
    return samples;
}

// A video packet of a file, as ffprobe lists them.
struct Packet {
    std::size_t size = 0;
    std::size_t pos = 0;
};

inline std::vector<Packet> videoPackets(const std::string& path) {
    std::istringstream listing(commandOutput(
        "ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 '" + path +
        "'"));
    std::vector<Packet> packets;
    for (Packet p; listing >> p.size && listing.ignore() >> p.pos;) packets.push_back(p);
    return packets;
}

// Changes two bytes in the middle of every third video packet of the file,
// from the second on, so that the decoder gives those frames partly
// decoded; the number of packets.
inline std::size_t damageEveryThirdPacket(const std::string& path) {
    const std::vector<Packet> packets = videoPackets(path);
    Bytes bytes = readFile(path);
    for (std::size_t k = 1; k < packets.size(); k += 3) {
        if (packets[k].size < 8) continue;
        bytes.at(packets[k].pos + packets[k].size / 2) ^= 0x5A;
        bytes.at(packets[k].pos + packets[k].size / 2 + 1) ^= 0xA5;
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return packets.size();
}

}  // namespace vantrel::test
