#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "UnitMP3.h"

namespace velmora::test {

// Writes `width` bits of `value` at bit `pos` of `bytes`, most significant bit first.
void PutBits(std::uint8_t* bytes, int pos, int width, std::uint32_t value);
std::uint32_t GetBits(const std::uint8_t* bytes, int pos, int width);

// One frame described field by field. Defaults: MPEG-1 Layer III, 128 kbit/s, 44100 Hz,
// joint stereo, no CRC, side information all zero, main data filled with `fill`.
struct FrameSpec {
    std::uint8_t versionId = 3; // 0 = 2.5, 2 = MPEG-2, 3 = MPEG-1
    std::uint8_t layerId = 1;   // 1 = III, 2 = II, 3 = I
    std::uint8_t bitrateIndex = 9;
    std::uint8_t sampleRateIndex = 0;
    bool padding = false;
    bool crc = false;
    bool badCrc = false; // store a CRC that does not match
    std::uint8_t channelMode = 1;
    std::uint8_t modeExtension = 0;
    bool privateBit = false;
    int mainDataBegin = 0;
    // Per granule and channel (MPEG-1: [gr*2+ch]; MPEG-2: [ch]).
    std::array<int, 4> part23Length{0, 0, 0, 0};
    std::array<int, 4> globalGain{0, 0, 0, 0};
    std::uint8_t fill = 0x55;           // main data bytes
    std::vector<std::uint8_t> mainData; // when not empty, copied over the start of the main data
};

std::uint32_t HeaderWord(const FrameSpec& spec);
// The decoded header FF FB 90 64: MPEG-1 Layer III, 128 kbit/s, 44100 Hz (1000 ms = 38 frames).
MpegHeader Mpeg1Layer3Header();
// Coded audio: non-zero part2_3_length and `mainBytes` of main data without a dominant byte.
FrameSpec AudibleFrameSpec(int mainBytes = 400);
// The whole frame, its length as the header says, CRC computed when `crc` is set.
std::vector<std::uint8_t> BuildFrame(const FrameSpec& spec);
// The bit position (from the first side-information byte) of part2_3_length for slot i, and of
// global_gain (part2_3_length + 21).
int Part23Position(const FrameSpec& spec, int slot);
int SlotCount(const FrameSpec& spec);

// Appends `count` copies of the frame built from `spec`.
void AppendFrames(std::vector<std::uint8_t>& out, const FrameSpec& spec, int count);

// `count` MPEG-1 Layer III frames that differ in global_gain and fill, so a misplaced byte shows.
std::vector<std::uint8_t> DistinctFrames(int count);

// A frame whose side information says "Xing" or "Info" follows: an extra-info frame.
std::vector<std::uint8_t> BuildExtraInfoFrame(const FrameSpec& spec, const char* tag,
                                              std::uint32_t frames, std::uint32_t bytes);

// Writes `data` to `path` (truncating).
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> ReadFile(const std::string& path);

// A fresh temporary folder, removed with its contents when the object goes.
class TempDir {
public:
    TempDir();
    // A folder in `parent`; throws when it cannot be made there.
    explicit TempDir(const std::string& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace velmora::test
