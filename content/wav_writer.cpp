// wav_writer.cpp: writing the soundtrack image.
#include "content/wav_writer.h"

#include <cstdio>
#include <cstring>

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void putTag(std::vector<std::uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

std::string soundtrackIxml() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<BWFXML>\n"
        "  <IXML_VERSION>2.10</IXML_VERSION>\n"
        "  <PROJECT>Ostrel</PROJECT>\n"
        "  <SCENE>soundtrack</SCENE>\n"
        "  <TAKE>1</TAKE>\n"
        "  <NOTE>Synthesised at build time from the show's score.</NOTE>\n"
        "  <SPEED>\n"
        "    <MASTER_SPEED>24/1</MASTER_SPEED>\n"
        "    <TIMECODE_RATE>24/1</TIMECODE_RATE>\n"
        "    <TIMECODE_FLAG>NDF</TIMECODE_FLAG>\n"
        "    <FILE_SAMPLE_RATE>44100</FILE_SAMPLE_RATE>\n"
        "    <AUDIO_BIT_DEPTH>16</AUDIO_BIT_DEPTH>\n"
        "    <TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>0</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>\n"
        "    <TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>0</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>\n"
        "  </SPEED>\n"
        "  <TRACK_LIST>\n"
        "    <TRACK_COUNT>2</TRACK_COUNT>\n"
        "    <TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX>"
        "<NAME>Left</NAME></TRACK>\n"
        "    <TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX>"
        "<NAME>Right</NAME></TRACK>\n"
        "  </TRACK_LIST>\n"
        "</BWFXML>\n";
    xml.resize(soundtrackIxmlBytes, ' ');
    return xml;
}

std::vector<std::uint8_t> buildWaveImage(const std::int16_t* interleaved, std::uint32_t frames) {
    const std::uint32_t dataBytes = frames * 4;
    const std::string ixml = soundtrackIxml();
    const std::uint32_t riffSize = 4 + (8 + 28) + (8 + 16) + (8 + dataBytes) +
                                   (8 + std::uint32_t(ixml.size()));
    std::vector<std::uint8_t> out;
    out.reserve(riffSize + 8);
    putTag(out, "RIFF");
    put32(out, riffSize);
    putTag(out, "WAVE");
    putTag(out, "JUNK");
    put32(out, 28);
    out.insert(out.end(), 28, 0);
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1);                            // integer PCM
    put16(out, 2);                            // stereo
    put32(out, soundtrackSampleRate);         // frames a second
    put32(out, soundtrackSampleRate * 4);     // bytes a second
    put16(out, 4);                            // bytes a frame
    put16(out, 16);                           // bits a sample
    putTag(out, "data");
    put32(out, dataBytes);
    for (std::uint32_t i = 0; i < frames * 2; ++i) put16(out, std::uint16_t(interleaved[i]));
    putTag(out, "iXML");
    put32(out, std::uint32_t(ixml.size()));
    out.insert(out.end(), ixml.begin(), ixml.end());
    return out;
}

bool writeWaveFile(const std::string& path, const std::vector<std::uint8_t>& image,
                   std::string& error) {
    if (path == "-") {
        const bool ok = std::fwrite(image.data(), 1, image.size(), stdout) == image.size() &&
                        std::fflush(stdout) == 0;
        if (!ok) error = "cannot write the image to standard output";
        return ok;
    }
    // Written beside its name and renamed once complete.
    const std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (!f) {
        error = "cannot open " + path + " for writing";
        return false;
    }
    bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    ok = std::fclose(f) == 0 && ok;
    ok = ok && std::rename(part.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::remove(part.c_str());
        error = "cannot write " + path;
    }
    return ok;
}
