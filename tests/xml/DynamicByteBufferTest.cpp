#include "xml/DynamicByteBuffer.h"
#include "platform/TextFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

std::string IndexError(const TDynamicByteBuffer& buffer, int index) {
    try {
        buffer.Bytes(index);
    } catch (const EOutOfArrayError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(DynamicByteBuffer, GrowsByTheBytesAppendedAndRefusesIndexesOutside) {
    TDynamicByteBuffer buffer;
    EXPECT_EQ(IndexError(buffer, 0), "TDynamicByteBuffer: Number outside of Array \"FOpenBuf\"");
    const uint8_t block[] = {0x00, 0xFF, 0x7E};
    EXPECT_TRUE(buffer.Add(0x41));
    EXPECT_TRUE(buffer.AddBuffer(block, 3));
    EXPECT_TRUE(buffer.AddBuffer(block, 0));
    EXPECT_TRUE(buffer.AddBuffer(nullptr, -1));
    ASSERT_EQ(buffer.Size(), 4);
    EXPECT_EQ(buffer.Bytes(0), 0x41);
    EXPECT_EQ(buffer.Bytes(2), 0xFF);
    EXPECT_EQ(buffer.Bytes(3), 0x7E);
    EXPECT_EQ(IndexError(buffer, 4), "TDynamicByteBuffer: Number outside of Array \"FOpenBuf\"");
    EXPECT_EQ(IndexError(buffer, -1), "TDynamicByteBuffer: Number outside of Array \"FOpenBuf\"");
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_THROW(buffer.Bytes(0), EOutOfArrayError);
}

TEST(DynamicByteBuffer, SavesEveryByteAndLoadAppendsToWhatItHolds) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("image.sim").toStdString();
    // More than two of the 1024-byte load blocks, zero bytes included.
    std::vector<uint8_t> image(2500);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = uint8_t(i * 7);
    TDynamicByteBuffer source;
    source.AddBuffer(image.data(), int(image.size()));
    source.SaveToFile(path);
    EXPECT_EQ(ReadFileBytes(path, 1 << 20), std::string(image.begin(), image.end()));

    TDynamicByteBuffer loaded;
    loaded.Add(0x55);
    loaded.LoadFromFile(path);
    ASSERT_EQ(loaded.Size(), 2501);
    EXPECT_EQ(loaded.Bytes(0), 0x55);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), loaded.Data().begin() + 1));

    TDynamicByteBuffer().SaveToFile(path);
    EXPECT_EQ(ReadFileBytes(path, 1 << 20), "");
    EXPECT_THROW(loaded.LoadFromFile(dir.filePath("missing.sim").toStdString()), EFileError);
    EXPECT_EQ(loaded.Size(), 2501);
}
