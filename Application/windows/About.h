#pragma once

#include "platform/VersionRecord.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

class QDialog;
class QWidget;
class TUserInteraction;

// A program file named for the about box does not exist.
class EAboutFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The about box, built at run time from a program file's version record, with the values of about.cfg
// over it and a logo above.
class TAbout {
public:
    // The row flags: bit numbers of the rows; RowAll switches every row on when the window is built.
    enum TRow : int {
        RowCompanyName = 0,
        RowFileDescription = 1,
        RowFileVersion = 2,
        RowInternalName = 3,
        RowLegalCopyright = 4,
        RowLegalTrademarks = 5,
        RowOriginalFilename = 6,
        RowProductName = 7,
        RowProductVersion = 8,
        RowComments = 9,
        RowEmail = 10,
        RowHomePage = 11,
        RowCompiled = 12,
        RowAll = 13,
    };
    static constexpr uint16_t InitialRows = 0x1D84;
    static constexpr int LogoWidth = 300;
    static constexpr int LogoHeight = 85;

    // The running program's record.
    TAbout();
    // Another program file's record, without the "Compiled" row; EAboutFileError when it does not exist.
    explicit TAbout(const std::string& fileName);
    ~TAbout();

    void SetLogo(const QImage& logo);
    // The logo file, loaded when the window is built if no logo was given and the file exists.
    void SetLogoFileName(const std::string& fileName) { LogoFile = fileName; }
    // Applies the non-empty values of about.cfg; nothing happens when the file does not exist.
    void LoadUserValues(const std::string& fileName);

    // Builds the window and shows it modally.
    void ShowAbout(QWidget* parent);
    // The window ShowAbout shows, built but not shown. pixelsPerInch 0 takes the screen's.
    std::unique_ptr<QDialog> BuildWindow(QWidget* parent, int pixelsPerInch = 0);

    uint16_t Rows() const { return RowFlags; }
    void SetRow(int bit) { RowFlags = uint16_t(RowFlags | (1u << bit)); }
    void ClearRow(int bit) { RowFlags = uint16_t(RowFlags & ~(1u << bit)); }

    const TVersionStrings& Strings() const { return VersionStrings; }
    const std::string& String(TVersionKey key) const { return At(VersionStrings, key); }
    const QString& BuildTime() const { return BuildTimeText; }

    // The mail link's address: the mail address with the subject "Software Question: " + product name,
    // a blank and the file version.
    QString MailLink() const;

    // 15 pixels at up to 96 pixels per inch, else in proportion, rounded.
    static int RowPitch(int pixelsPerInch);
    // The logo built into the program, 300 x 85 pixels, 24 bits per pixel.
    static QImage BuiltInLogo();

private:
    void AddRow(QDialog& window, int bit);

    TVersionStrings VersionStrings;
    QString BuildTimeText;
    QImage Logo;
    std::string LogoFile;
    bool LogoGiven = false;
    bool LogoTransparent = false;
    uint16_t Y = 0;
    uint16_t RowFlags = InitialRows;
    uint8_t LabelCount = 0;
};

// "About": the running program's about box with the home page row, the logo from "AboutLogo.bmp" in the
// program folder or the built-in one, and the values of about.cfg there.
void ShowProgramAbout(QWidget* parent);

// "User Guide": opens QuorvelUserGuide.pdf of the program folder with the desktop's PDF program and says
// so when the desktop has none (or names one too old to read it).
void OpenUserGuide(TUserInteraction& user);
