// replay: tries the settings of a station directory (a copy) on the judged pictures it stored.
//
// The settings are what the directory's PARAM.db, templates and ignore points hold; the pictures
// carry the verdicts the station gave them when they were taken. The program prints how many
// stored good cycles the settings would fail (and in which regions), how many stored failures they
// would pass, and the pictures concerned. It opens PARAM.db read-only and writes nothing.
#include "core/globals.h"
#include "core/operatorport.h"
#include "params/wizardpara.h"
#include "vision/cameravision.h"
#include "vision/lib/checkrange.h"
#include "vision/replay.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSqlDatabase>

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

void usage()
{
    std::cerr << "usage: replay --station DIR --camera N --detection D [--images DIR]\n"
                 "  --station DIR    station directory (a copy; its PARAM.db holds the settings to try)\n"
                 "  --camera N       camera 1-8\n"
                 "  --detection D    detection 1-8 (1 product, 2 mould in the fixed modes)\n"
                 "  --images DIR     stored pictures (default DIR/replayimage)\n"
                 "Exit status 0 when judged, 1 when the station or its pictures cannot be used, 2 on\n"
                 "a wrong command line.\n";
}

int number(const std::string &option, const char *text, int low, int high)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < low || v > high) {
        std::cerr << option << ": wants a number " << low << "-" << high << ", not " << text << "\n";
        std::exit(2);
    }
    return int(v);
}

// Warnings of the loading (damaged template files) go to the error stream; nothing is asked.
class ConsolePort : public OperatorPort
{
public:
    void warn(const QString &text) override { std::cerr << text.toStdString() << "\n"; }
    bool ask(const QString &) override { return false; }
    bool password(int) override { return false; }
    int oneTimePassword() override { return 0; }
    void notify(const QString &text) override { std::cerr << text.toStdString() << "\n"; }
};

// The image geometry of the station, from the first stored picture.
bool setGeometry(const QList<Replay::StoredPicture> &pictures)
{
    for (const Replay::StoredPicture &picture : pictures) {
        QImageReader reader(picture.path);
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            continue;
        const QImage::Format format = reader.imageFormat();
        const bool colour = format != QImage::Format_Grayscale8 && format != QImage::Format_Indexed8;
        gImageW = size.width();
        gImageH = size.height();
        gImageLen = gImageW * gImageH;
        gColorLen = colour ? 4 * gImageLen : gImageLen;
        gisColor = colour;
        SetImageSize(gImageW, gImageH);
        return true;
    }
    return false;
}

QString regionList(const QList<int> &regions)
{
    QStringList numbers;
    for (int i : regions)
        numbers << QString::number(i + 1);
    return numbers.isEmpty() ? QStringLiteral("-") : numbers.join(QLatin1Char(' '));
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString station, images;
    int camera = 0, detection = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                std::cerr << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--station")
            station = QString::fromLocal8Bit(value());
        else if (arg == "--camera")
            camera = number(arg, value(), 1, 8);
        else if (arg == "--detection")
            detection = number(arg, value(), 1, kMaxDetect);
        else if (arg == "--images")
            images = QString::fromLocal8Bit(value());
        else {
            usage();
            return 2;
        }
    }
    if (station.isEmpty() || camera == 0 || detection == 0) {
        usage();
        return 2;
    }
    const QString imageRoot = QFileInfo(images.isEmpty() ? QDir(station).filePath(QString::fromLatin1(Replay::kRoot))
                                                         : images)
                                  .absoluteFilePath();
    if (!QDir::setCurrent(station)) {
        std::cerr << "no station directory " << station.toStdString() << "\n";
        return 1;
    }
    QSqlDatabase params = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
    params.setDatabaseName(QStringLiteral("PARAM.db"));
    params.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!QFileInfo::exists(QStringLiteral("PARAM.db")) || !params.open()) {
        std::cerr << "PARAM.db of " << station.toStdString() << " cannot be opened\n";
        return 1;
    }
    ConsolePort port;
    OperatorPort::install(&port);
    WizardPara para;
    gpWPara = &para;
    para.LoadDatafromFile();
    gTempNum = para.max_mold_num;

    const int cam = camera - 1;
    const int d = detection - 1;
    const QList<Replay::StoredPicture> pictures = Replay::ListPictures(imageRoot, cam, d);
    std::cout << "camera " << camera << ", detection " << detection << ": " << pictures.size()
              << " stored pictures in " << imageRoot.toStdString() << "\n";
    if (pictures.isEmpty())
        return 0;
    if (!setGeometry(pictures)) {
        std::cerr << "no stored picture can be read\n";
        return 1;
    }

    Replay::Result r;
    {
        CameraVision vision(cam);
        vision.LoadFiles();
        r = Replay::Run(Replay::TakeSettings(vision, d), pictures);
    }
    std::cout << "stored good cycles: " << r.storedGood << ", would now fail: " << r.goodNowFailing << "\n"
              << "stored failures: " << r.storedFailed << ", would now pass: " << r.failedNowPassing << "\n"
              << "unreadable pictures: " << r.unreadable << "\n";
    for (int i = 0; i < kMaxRoi; ++i)
        if (r.goodFailsByRegion[size_t(i)] > 0)
            std::cout << "region " << i + 1 << " fails " << r.goodFailsByRegion[size_t(i)] << " stored good cycles\n";
    const QDir root(imageRoot);
    for (const Replay::Flip &flip : r.flips) {
        std::cout << (flip.storedOk ? "would fail: " : "would pass: ") << root.relativeFilePath(flip.path).toStdString()
                  << (flip.storedOk ? " regions " : " failed before in regions ") << regionList(flip.regions).toStdString()
                  << "\n";
    }
    OperatorPort::install(nullptr);
    gpWPara = nullptr;
    return 0;
}
