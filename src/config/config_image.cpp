#include "config/config_image.h"

#include "device/hid_device.h"

namespace padwright {

const std::array<uint8_t, 12> kZombieTurboBytes = {0x01, 0xA5, 0x01, 0x02, 0x02, 0x02,
                                                   0x02, 0x02, 0x02, 0x02, 0x02, 0x02};

namespace {

constexpr std::array<uint8_t, 192> MakeSoundPlayerBlock()
{
    struct Record {
        uint16_t v;
        uint8_t w0, w1;
    };
    constexpr Record records[8] = {{0x039E, 0x54, 0xD7}, {0x040F, 0x98, 0xAE}, {0x048E, 0x0B, 0x00},
                                   {0x04D1, 0xAC, 0xEC}, {0x0569, 0x0D, 0x00}, {0x0613, 0x00, 0x00},
                                   {0x06D2, 0x00, 0x00}, {0x0738, 0x00, 0x00}};
    std::array<uint8_t, 192> block{};
    block[0] = 0x05;
    block[1] = 0x00;
    for (size_t r = 0; r < 8; ++r) {
        const std::array<uint8_t, 18> bytes = {
            0x02, 0x80, static_cast<uint8_t>(records[r].v & 0xFF), static_cast<uint8_t>(records[r].v >> 8),
            0x00, 0x10, 0x00, 0x08, 0x00, 0x20, 0x00, 0x01, 0x00, 0x10,
            records[r].w0, records[r].w1, 0x00, 0x40};
        for (size_t i = 0; i < bytes.size(); ++i)
            block[2 + 18 * r + i] = bytes[i];
    }
    return block;
}

constexpr RemapTable Layout(std::initializer_list<uint8_t> head)
{
    RemapTable t{};
    size_t i = 0;
    for (uint8_t b : head)
        t[i++] = b;
    return t;
}

}  // namespace

const std::array<uint8_t, 192> kSoundPlayerBlock = MakeSoundPlayerBlock();

const std::array<RemapTable, 3> kGameLayouts = {
    // CoD Remap for Halo Reach
    Layout({0x07, 0x00, 0x01, 0x02, 0x03, 0x0D, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04,
            0x05, 0x0D, 0x10, 0x06, 0x07, 0x0A, 0x0B, 0x0C, 0x08, 0x0E, 0x0F}),
    // Halo Reach Remap for CoD
    Layout({0x07, 0x00, 0x01, 0x02, 0x03, 0x0B, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04,
            0x05, 0x08, 0x09, 0x0D, 0x10, 0x0A, 0x0B, 0x0C, 0x06, 0x0E, 0x0F}),
    // Halo Remap for Black Ops
    Layout({0x07, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04,
            0x05, 0x08, 0x09, 0x0D, 0x07, 0x0A, 0x0B, 0x0C, 0x06, 0x0E, 0x0F}),
};

int SlotIndexFor(int featureButton, int featureButtonCount)
{
    return featureButtonCount == 2 ? 1 - featureButton : featureButton;
}

uint8_t* SlotData(ConfigImage& image, int slotIndex)
{
    return image.data() + kSlotBytes * static_cast<size_t>(slotIndex);
}

const uint8_t* SlotData(const ConfigImage& image, int slotIndex)
{
    return image.data() + kSlotBytes * static_cast<size_t>(slotIndex);
}

bool ReadConfigImage(CHidDevice& device, ConfigImage& image)
{
    return device.ReadMemory(kFeatureButtonAddress, image.data(), image.size());
}

bool WriteConfigImage(CHidDevice& device, const ConfigImage& image)
{
    if (!device.EraseFlash(kFeatureButtonAddress, kSectorBytes))
        return false;
    return device.ProgramFlash(kFeatureButtonAddress, image.data(), image.size());
}

}  // namespace padwright
