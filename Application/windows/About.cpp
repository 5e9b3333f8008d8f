#include "windows/About.h"

#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PdfReader.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "platform/UserInteraction.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <cmath>

namespace {

constexpr int CaptionLeft = 25;
constexpr int ValueLeft = 150;
constexpr int RightMargin = 25;
constexpr int LogoMargin = 10;
constexpr int StartWidth = 25;
constexpr int DesignPitch = 15;
constexpr int DesignPixelsPerInch = 96;

enum class TValue { String, BuildTime };

struct TRowShown {
    int bit;
    const char* caption;
    TVersionKey key;
    TValue value = TValue::String;
};

// The display order.
const TRowShown RowsShown[] = {
    {TAbout::RowProductName, Texts::AboutProductName, TVersionKey::ProductName},
    {TAbout::RowInternalName, Texts::AboutInternalName, TVersionKey::InternalName},
    {TAbout::RowOriginalFilename, Texts::AboutOriginalFilename, TVersionKey::OriginalFilename},
    {TAbout::RowFileDescription, Texts::AboutFileDescription, TVersionKey::FileDescription},
    {TAbout::RowProductVersion, Texts::AboutProductVersion, TVersionKey::ProductVersion},
    {TAbout::RowFileVersion, Texts::AboutFileVersion, TVersionKey::FileVersion},
    {TAbout::RowCompiled, Texts::AboutCompiled, TVersionKey::FileVersion, TValue::BuildTime},
    {TAbout::RowLegalCopyright, Texts::AboutLegalCopyright, TVersionKey::LegalCopyright},
    {TAbout::RowLegalTrademarks, Texts::AboutLegalTrademarks, TVersionKey::LegalTrademarks},
    {TAbout::RowComments, Texts::AboutComments, TVersionKey::Comments},
    {TAbout::RowCompanyName, Texts::AboutCompanyName, TVersionKey::CompanyName},
    {TAbout::RowEmail, Texts::AboutEmail, TVersionKey::Email},
    {TAbout::RowHomePage, Texts::AboutHomePage, TVersionKey::HomePage},
};

// about.cfg names the mail address "Email"; the record names it "E-mail".
const char* UserValueKey(TVersionKey key) {
    return key == TVersionKey::Email ? "Email" : VersionKeyName(key);
}

// The running program's build time in the person's short date and long time format.
QString FormatBuildTime(const std::string& iso) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(iso), Qt::ISODate);
    if (!time.isValid())
        return {};
    const QDateTime local = time.toLocalTime();
    const QLocale locale;
    return locale.toString(local.date(), QLocale::ShortFormat) + " " +
           locale.toString(local.time(), QLocale::LongFormat);
}

QString LinkText(const QString& href, const QString& text) {
    return QStringLiteral("<a href=\"%1\" style=\"color:#0000ff\">%2</a>")
        .arg(href.toHtmlEscaped(), text.toHtmlEscaped());
}

} // namespace

TAbout::TAbout() {
    ReadVersionStrings(RunningProgramFile(), VersionStrings);
    BuildTimeText = FormatBuildTime(ReadBuildTime(RunningProgramFile()));
}

TAbout::TAbout(const std::string& fileName) {
    if (!QFileInfo::exists(QString::fromStdString(fileName)))
        throw EAboutFileError(std::string(Texts::AboutFileNotFound) + fileName + Texts::AboutFileNotFoundEnd);
    ReadVersionStrings(fileName, VersionStrings);
    ClearRow(RowCompiled);
    BuildTimeText = FormatBuildTime(ReadBuildTime(RunningProgramFile()));
}

TAbout::~TAbout() = default;

void TAbout::SetLogo(const QImage& logo) {
    Logo = logo;
    LogoGiven = true;
}

void TAbout::LoadUserValues(const std::string& fileName) {
    if (!QFileInfo(QString::fromStdString(fileName)).isFile())
        return;
    const TIniFile ini(fileName);
    for (int i = 0; i < VersionKeyCount; ++i) {
        const auto key = static_cast<TVersionKey>(i);
        const std::string value = ini.ReadString(Texts::AboutValuesSection, UserValueKey(key), "");
        if (!value.empty())
            At(VersionStrings, key) = value;
    }
}

int TAbout::RowPitch(int pixelsPerInch) {
    if (pixelsPerInch <= DesignPixelsPerInch)
        return DesignPitch;
    return int(std::lround(double(DesignPitch) * pixelsPerInch / DesignPixelsPerInch));
}

QString TAbout::MailLink() const {
    return QString::fromStdString("mailto:" + String(TVersionKey::Email) +
                                  "?subject=" + Texts::AboutMailSubject + ": " +
                                  String(TVersionKey::ProductName) + " " + String(TVersionKey::FileVersion));
}

std::unique_ptr<QDialog> TAbout::BuildWindow(QWidget* parent, int pixelsPerInch) {
    if (pixelsPerInch <= 0) {
        const QScreen* screen = parent ? parent->screen() : nullptr;
        pixelsPerInch = screen ? int(std::lround(screen->logicalDotsPerInch())) : DesignPixelsPerInch;
    }
    const int p = RowPitch(pixelsPerInch);
    if (RowFlags & (1u << RowAll))
        RowFlags = uint16_t(RowFlags | 0x3FFF);

    auto window = std::make_unique<QDialog>(parent);
    window->setObjectName("AboutForm");
    window->setWindowTitle(Texts::AboutCaption);
    window->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    window->resize(StartWidth, window->height());
    Y = 0;
    LabelCount = 0;

    QLabel* imgLogo = nullptr;
    if (!LogoGiven && !LogoFile.empty() && QFileInfo(QString::fromStdString(LogoFile)).isFile())
        Logo.load(QString::fromStdString(LogoFile));
    if (!Logo.isNull()) {
        imgLogo = new QLabel(window.get());
        imgLogo->setObjectName("imgLogo");
        imgLogo->setPixmap(QPixmap::fromImage(Logo));
        imgLogo->setGeometry(LogoMargin, LogoMargin, Logo.width(), Logo.height());
        window->resize(std::max(window->width(), Logo.width() + 2 * LogoMargin), window->height());
        Y = uint16_t(LogoMargin + Logo.height());
    }

    for (const TRowShown& row : RowsShown) {
        if (!(RowFlags & (1u << row.bit)))
            continue;
        int spacing = p;
        const bool emailFlagged = RowFlags & (1u << RowEmail);
        if (row.bit == RowEmail || (row.bit == RowHomePage && !emailFlagged))
            spacing = LabelCount > 0 ? 2 * p : p;
        Y = uint16_t(Y + spacing);
        AddRow(*window, row.bit);
    }

    Y = uint16_t(Y + 2 * p);
    auto* ok = new QPushButton(Texts::Ok, window.get());
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    ok->adjustSize();
    QObject::connect(ok, &QPushButton::clicked, window.get(), &QDialog::accept);
    ok->move((window->width() - ok->width()) / 2, Y);
    window->setFixedSize(window->width(), Y + 4 * p);
    if (imgLogo)
        imgLogo->move((window->width() - imgLogo->width()) / 2, LogoMargin);
    return window;
}

void TAbout::AddRow(QDialog& window, int bit) {
    const TRowShown* row = nullptr;
    for (const TRowShown& candidate : RowsShown)
        if (candidate.bit == bit)
            row = &candidate;
    const QString value =
        row->value == TValue::BuildTime ? BuildTimeText : QString::fromStdString(String(row->key));

    auto* caption = new QLabel(row->caption, &window);
    caption->setObjectName(QString("lbl%1").arg(++LabelCount));
    auto* shown = new QLabel(&window);
    shown->setObjectName(QString("lbl%1").arg(++LabelCount));
    if (bit == RowEmail || bit == RowHomePage) {
        shown->setTextFormat(Qt::RichText);
        shown->setText(LinkText(bit == RowEmail ? MailLink() : value, value));
        shown->setOpenExternalLinks(true);
        shown->setCursor(Qt::PointingHandCursor);
    } else {
        shown->setTextFormat(Qt::PlainText);
        shown->setText(value);
    }
    if (bit == RowProductName) {
        QFont bold = shown->font();
        bold.setBold(true);
        shown->setFont(bold);
    }
    for (auto [label, left] : {std::pair{caption, CaptionLeft}, std::pair{shown, ValueLeft}}) {
        label->adjustSize();
        label->move(left, Y);
        const int right = left + label->width() + RightMargin;
        if (window.width() < right)
            window.resize(right, window.height());
    }
}

void TAbout::ShowAbout(QWidget* parent) {
    std::unique_ptr<QDialog> window = BuildWindow(parent);
    window->exec();
}

QImage TAbout::BuiltInLogo() {
    QImage logo(LogoWidth, LogoHeight, QImage::Format_RGB888);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ground(0, 0, LogoWidth, LogoHeight);
    ground.setColorAt(0, QColor(0x12, 0x3a, 0x6b));
    ground.setColorAt(1, QColor(0x1f, 0x7a, 0x8c));
    painter.fillRect(logo.rect(), ground);

    // A handset: body, screen and keys.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf2, 0xf5, 0xf8));
    painter.drawRoundedRect(QRectF(18, 10, 34, 65), 8, 8);
    painter.setBrush(QColor(0x12, 0x3a, 0x6b));
    painter.drawRoundedRect(QRectF(23, 17, 24, 16), 3, 3);
    painter.setBrush(QColor(0x1f, 0x7a, 0x8c));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            painter.drawEllipse(QPointF(27 + column * 8, 43 + row * 9), 2.6, 2.6);
    // Its radio waves.
    QPen wave(QColor(0xf2, 0xf5, 0xf8), 2.5);
    wave.setCapStyle(Qt::RoundCap);
    painter.setPen(wave);
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = 8 + i * 6;
        painter.drawArc(QRectF(55 - r, 12 - r, 2 * r, 2 * r), 300 * 16, 110 * 16);
    }

    painter.setPen(QColor(0xff, 0xff, 0xff));
    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(38);
    name.setBold(true);
    painter.setFont(name);
    painter.drawText(QRect(88, 8, 205, 48), Qt::AlignLeft | Qt::AlignVCenter, Texts::ProgramTitle);
    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(13);
    painter.setFont(line);
    painter.setPen(QColor(0xd8, 0xe8, 0xf0));
    painter.drawText(QRect(90, 54, 205, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("DECT handset manager"));
    painter.end();
    return logo;
}

void ShowProgramAbout(QWidget* parent) {
    TAbout about;
    about.ClearRow(TAbout::RowEmail);
    about.ClearRow(TAbout::RowHomePage);
    const std::string logoFile = ProgramDir() + "AboutLogo.bmp";
    about.SetLogoFileName(logoFile);
    if (!QFileInfo(QString::fromStdString(logoFile)).isFile())
        about.SetLogo(TAbout::BuiltInLogo());
    about.SetRow(TAbout::RowHomePage);
    about.LoadUserValues(ProgramDir() + "about.cfg");
    about.ShowAbout(parent);
}

void OpenUserGuide(TUserInteraction& user) {
    constexpr int NeededReaderVersion = 5;
    const std::string guide = ProgramDir() + "QuorvelUserGuide.pdf";
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(guide)));
    if (RegisteredPdfReader().empty()) {
        user.Message(TMessageKind::Information, FormatText(Texts::PdfReaderNeeded, guide.c_str()),
                     TButtons::Ok);
        return;
    }
    int version = -1;
    try {
        version = PdfReaderMajorVersion();
    } catch (const std::exception& e) {
        user.Message(TMessageKind::Error, e.what(), TButtons::Ok);
        return;
    }
    if (version >= 0 && version < NeededReaderVersion)
        user.Message(TMessageKind::Information,
                     FormatText(Texts::PdfReaderVersionNeeded, NeededReaderVersion), TButtons::Ok);
}
