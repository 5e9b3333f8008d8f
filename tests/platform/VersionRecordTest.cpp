// The version records of our programs, and files that carry none.
#include "platform/VersionRecord.h"
#include "platform/PdfReader.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string BuiltProgram(const char* name) {
    const char* dir = std::getenv("QUORVEL_BUILT_PROGRAMS");
    return std::string(dir ? dir : ".") + "/" + name;
}

std::string WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName().toStdString();
}

// Put together at run time, so that this program carries no begin mark of its own.
const QByteArray Begin = QByteArray("\x01QuorvelVersion") + "Record\x02";

TEST(VersionRecord, EachOfOurProgramsCarriesItsOwn) {
    for (const char* program : {"quorvel", "quorvel-cli", "quorvel-handset"}) {
        TVersionStrings strings;
        ASSERT_TRUE(ReadVersionStrings(BuiltProgram(program), strings)) << program;
        EXPECT_EQ(At(strings, TVersionKey::ProductName), "Quorvel");
        EXPECT_EQ(At(strings, TVersionKey::InternalName), program);
        EXPECT_EQ(At(strings, TVersionKey::OriginalFilename), program);
        EXPECT_EQ(At(strings, TVersionKey::FileVersion), QUORVEL_VERSION);
        EXPECT_EQ(QUORVEL_VERSION, At(strings, TVersionKey::ProductVersion) + ".0")
            << "major.minor of the version";
        EXPECT_FALSE(At(strings, TVersionKey::HomePage).empty());
        EXPECT_FALSE(At(strings, TVersionKey::FileDescription).empty());
        EXPECT_TRUE(
            QDateTime::fromString(QString::fromStdString(ReadBuildTime(BuiltProgram(program))), Qt::ISODate)
                .isValid());
    }
}

TEST(VersionRecord, FilesWithoutOneAreRefusedAndLeaveTheStrings) {
    QTemporaryDir dir;
    TVersionStrings strings;
    At(strings, TVersionKey::ProductName) = "kept";
    // This test program holds the reader and no record.
    EXPECT_FALSE(ReadVersionStrings(RunningProgramFile(), strings));
    EXPECT_FALSE(ReadVersionStrings(dir.filePath("missing").toStdString(), strings));
    EXPECT_FALSE(ReadVersionStrings(WriteFile(dir, "empty", {}), strings));
    EXPECT_FALSE(ReadVersionStrings(dir.path().toStdString(), strings)) << "a folder";
    EXPECT_FALSE(ReadVersionStrings(WriteFile(dir, "unended", Begin + "ProductName=X\n"), strings));
    EXPECT_FALSE(ReadVersionStrings(WriteFile(dir, "no-lines", Begin + "ProductName=X\x03"), strings));
    EXPECT_FALSE(ReadVersionStrings(WriteFile(dir, "empty-record", Begin + "\x03"), strings));
    EXPECT_EQ(At(strings, TVersionKey::ProductName), "kept");
}

TEST(VersionRecord, FoundAmongOtherBytesAfterAFalseStart) {
    QTemporaryDir dir;
    QByteArray bytes(5000, '\0');
    bytes += Begin + "garbage without lines";
    bytes += QByteArray(3000, 'x');
    bytes += Begin + "ProductName=Reader\nFileVersion=4.05\nE-mail=a@b.example\n\x03";
    bytes += QByteArray(100, '\xff');
    TVersionStrings strings;
    At(strings, TVersionKey::Comments) = "stale";
    ASSERT_TRUE(ReadVersionStrings(WriteFile(dir, "reader", bytes), strings));
    EXPECT_EQ(At(strings, TVersionKey::ProductName), "Reader");
    EXPECT_EQ(At(strings, TVersionKey::FileVersion), "4.05");
    EXPECT_EQ(At(strings, TVersionKey::Email), "a@b.example");
    EXPECT_EQ(At(strings, TVersionKey::Comments), "") << "a key the record lacks is empty";
}

TEST(PdfReaderVersion, IsTheNumberBeforeTheFirstDot) {
    EXPECT_EQ(MajorVersionOf("10.1.0"), 10);
    EXPECT_EQ(MajorVersionOf("4.05"), 4);
    EXPECT_EQ(MajorVersionOf("7.0.5"), 7);
    EXPECT_EQ(MajorVersionOf("7"), -1);
    EXPECT_EQ(MajorVersionOf(".5"), -1) << "a dot as the first character does not count";
    EXPECT_EQ(MajorVersionOf(""), -1);
    EXPECT_THROW(MajorVersionOf("beta.1"), std::invalid_argument);
}

} // namespace
