// The serial number text of a SIM image and the sums its record keeps.
#include "vsim/SerialNumber.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// An image just long enough to hold the serial bytes, the rest zero.
std::vector<uint8_t> ImageWithSerial(std::initializer_list<uint8_t> serial, size_t size = 69) {
    std::vector<uint8_t> image(size, 0);
    std::copy(serial.begin(), serial.end(), image.begin() + SerialNumberAddress);
    return image;
}

TEST(FormatSerialNumber, FiveAndSevenDecimalDigits) {
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("0012345678"), "00291 0284280");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("00 12 34 56 78"), "00291 0284280");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("1869F00000"), "99999 0000000");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("000000000f"), "00000 0000015");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("00000FFFFF"), "00000 1048575");
}

TEST(FormatSerialNumber, NothingButTenHexDigitsWithAFirstPartBelow100000) {
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("186A000000"), "") << "E = 100000";
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("FFFFFFFFFF"), "") << "an emptied handset";
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("001234567"), "");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("00123456789"), "");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("001234567G"), "");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber(""), "");
    EXPECT_EQ(TPP_SerialNumber::FormatSerialNumber("   "), "");
}

TEST(SerialNumberFromImage, ReadsBytes64To68) {
    EXPECT_EQ(SerialNumberFromImage(ImageWithSerial({0x00, 0x12, 0x34, 0x56, 0x78})).value_or("none"),
              "00291 0284280");
    EXPECT_EQ(SerialNumberFromImage(ImageWithSerial({0x18, 0x69, 0xF0, 0x00, 0x00}, 442)).value_or("none"),
              "99999 0000000");
    EXPECT_FALSE(SerialNumberFromImage(ImageWithSerial({0x18, 0x6A, 0x00, 0x00, 0x00})));
    EXPECT_FALSE(SerialNumberFromImage(ImageWithSerial({0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
}

TEST(SerialNumberFromImage, AnImageShorterThan69BytesHasNone) {
    std::vector<uint8_t> image = ImageWithSerial({0x00, 0x12, 0x34, 0x56, 0x78});
    image.pop_back();
    EXPECT_FALSE(SerialNumberFromImage(image));
    EXPECT_FALSE(SerialNumberFromImage({}));
}

TEST(ImageChecksum, SumsTheBytesAsUnsignedValues) {
    EXPECT_EQ(ImageChecksum({}), 0u);
    const std::vector<uint8_t> bytes{0xFF, 0x80, 0x01};
    EXPECT_EQ(ImageChecksum(bytes), 0x180u) << "bytes above 7F count as positive";
    EXPECT_EQ(ImageChecksum(std::vector<uint8_t>(65535, 0xFF)), 65535u * 255u);
}

TEST(ImageSha256, KnownDigests) {
    EXPECT_EQ(ImageSha256({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::vector<uint8_t> abc{'a', 'b', 'c'};
    EXPECT_EQ(ImageSha256(abc), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace
