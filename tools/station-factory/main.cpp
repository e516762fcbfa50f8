// Draws the station's button, lamp, navigation and check-box images and writes the alarm tone.
// Usage: station-factory STATION_DIR
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <cmath>
#include <cstdio>

namespace {

const QColor kPanel(0x1f, 0x2a, 0x36);
const QColor kAccent(0x2d, 0x8c, 0xd6);
const QColor kLight(0xe8, 0xee, 0xf4);

QImage canvas(int w, int h, QColor fill = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

QImage button(bool pressed)
{
    QImage image = canvas(160, 60);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 60);
    g.setColorAt(0, pressed ? kAccent.darker(140) : kAccent.lighter(120));
    g.setColorAt(1, pressed ? kAccent.darker(110) : kAccent.darker(120));
    p.setBrush(g);
    p.setPen(QPen(kAccent.darker(180), 2));
    p.drawRoundedRect(QRectF(1, 1, 158, 58), 10, 10);
    return image;
}

QImage lamp(bool on)
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(12, 12, 16);
    const QColor c = on ? QColor(0x3c, 0xd0, 0x4a) : QColor(0x70, 0x76, 0x7c);
    g.setColorAt(0, c.lighter(160));
    g.setColorAt(1, c.darker(130));
    p.setBrush(g);
    p.setPen(QPen(Qt::black, 1.5));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    return image;
}

// A round navigation button with an arrow pointing at `angle` degrees (0 = right, 90 = up).
QImage arrow(double angle)
{
    QImage image = canvas(64, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(kPanel);
    p.setPen(QPen(kAccent, 3));
    p.drawEllipse(QRectF(3, 3, 58, 58));
    p.translate(32, 32);
    p.rotate(-angle);
    QPainterPath path;
    path.moveTo(18, 0);
    path.lineTo(0, -14);
    path.lineTo(0, -6);
    path.lineTo(-16, -6);
    path.lineTo(-16, 6);
    path.lineTo(0, 6);
    path.lineTo(0, 14);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawPath(path);
    return image;
}

// Zoom buttons: a magnifier with a plus or a minus; the origin button: a cross-hair.
QImage symbol(char kind)
{
    QImage image = canvas(64, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(kPanel);
    p.setPen(QPen(kAccent, 3));
    p.drawEllipse(QRectF(3, 3, 58, 58));
    p.setPen(QPen(kLight, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    if (kind == 'o') {
        p.drawEllipse(QPointF(32, 32), 12, 12);
        p.drawLine(32, 12, 32, 52);
        p.drawLine(12, 32, 52, 32);
        return image;
    }
    p.drawEllipse(QPointF(28, 28), 13, 13);
    p.drawLine(38, 38, 49, 49);
    p.drawLine(21, 28, 35, 28);
    if (kind == '+')
        p.drawLine(28, 21, 28, 35);
    return image;
}

QImage gradient(int w, int h, QColor top, QColor bottom)
{
    QImage image = canvas(w, h);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(image.rect(), g);
    return image;
}

QImage logo()
{
    QImage image = canvas(200, 60, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A stylised open mould: two halves with a cavity and an eye between them.
    p.setBrush(QColor(0x9a, 0xa5, 0xb1));
    p.setPen(Qt::NoPen);
    p.drawRect(20, 10, 40, 40);
    p.drawRect(140, 10, 40, 40);
    p.setBrush(kPanel);
    p.drawRect(48, 22, 12, 16);
    p.drawRect(140, 22, 12, 16);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(100, 30), 18, 11);
    p.setBrush(kPanel);
    p.drawEllipse(QPointF(100, 30), 6, 6);
    return image.convertToFormat(QImage::Format_RGB888);
}

QImage slider(char part)
{
    if (part == 't') {  // the track
        QImage image = canvas(20, 200);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0x44, 0x50, 0x5c));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(6, 0, 8, 200), 4, 4);
        return image;
    }
    QImage image = canvas(40, 40);  // the handle, up or down
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(part == 'd' ? kAccent.darker(130) : kAccent);
    p.setPen(QPen(kLight, 2));
    p.drawEllipse(QRectF(3, 3, 34, 34));
    return image;
}

QImage edit()
{
    QImage image = canvas(200, 50);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0x90, 0x9a, 0xa4), 2));
    p.drawRoundedRect(QRectF(1, 1, 198, 48), 6, 6);
    return image;
}

// The ticked check-box indicator: a green box with a white tick, scaled to the indicator's size.
QImage check()
{
    QImage image = canvas(64, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1a, 0xbc, 0x9c));
    p.setPen(QPen(QColor(0x16, 0xa0, 0x86), 3));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 8, 8);
    QPainterPath tick;
    tick.moveTo(15, 33);
    tick.lineTo(27, 45);
    tick.lineTo(50, 19);
    p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    return image;
}

bool save(const QImage &image, const QString &path)
{
    if (image.save(path))
        return true;
    std::fprintf(stderr, "station-factory: cannot write %s\n", qPrintable(path));
    return false;
}

// The alarm: two alternating tones, one second, 16-bit mono PCM.
bool writeAlarm(const QString &path)
{
    constexpr int rate = 22050;
    constexpr int samples = rate;
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / rate;
        const double freq = (i / (rate / 8)) % 2 ? 880.0 : 1320.0;
        const double fade = std::min(1.0, std::min(t, 1.0 - t) * 50.0);
        const auto v = static_cast<qint16>(std::sin(2 * M_PI * freq * t) * 12000 * fade);
        qToLittleEndian(v, pcm.data() + 2 * i);
    }
    QByteArray wav;
    auto u32 = [&wav](quint32 v) { char b[4]; qToLittleEndian(v, b); wav.append(b, 4); };
    auto u16 = [&wav](quint16 v) { char b[2]; qToLittleEndian(v, b); wav.append(b, 2); };
    wav.append("RIFF");
    u32(36 + pcm.size());
    wav.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    wav.append("data");
    u32(pcm.size());
    wav.append(pcm);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: station-factory STATION_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString images = dir + QStringLiteral("/images/");
    QDir().mkpath(images);
    bool ok = true;
    ok &= save(logo(), images + QStringLiteral("logo.bmp"));
    ok &= save(gradient(1920, 1080, QColor(0x2a, 0x36, 0x44), QColor(0x12, 0x18, 0x20)), images + QStringLiteral("background.png"));
    ok &= save(gradient(1920, 60, kAccent.darker(130), kPanel), images + QStringLiteral("title.png"));
    ok &= save(gradient(800, 4, kAccent, kAccent.darker(150)), images + QStringLiteral("line.png"));
    ok &= save(edit(), images + QStringLiteral("edit.png"));
    ok &= save(slider('u'), images + QStringLiteral("slideru.png"));
    ok &= save(slider('d'), images + QStringLiteral("sliderd.png"));
    ok &= save(slider('t'), images + QStringLiteral("slidert.png"));
    ok &= save(button(false), images + QStringLiteral("buttonu.png"));
    ok &= save(button(true), images + QStringLiteral("buttond.png"));
    ok &= save(lamp(true), images + QStringLiteral("OUT1.png"));
    ok &= save(lamp(false), images + QStringLiteral("OUT0.png"));
    ok &= save(symbol('o'), images + QStringLiteral("Origin.png"));
    ok &= save(arrow(90), images + QStringLiteral("MoveUp.png"));
    ok &= save(arrow(270), images + QStringLiteral("MoveDown.png"));
    ok &= save(arrow(180), images + QStringLiteral("MoveLeft.png"));
    ok &= save(arrow(0), images + QStringLiteral("MoveRight.png"));
    ok &= save(symbol('+'), images + QStringLiteral("EnlargeScale.png"));
    ok &= save(symbol('-'), images + QStringLiteral("ReductionScale.png"));
    ok &= save(check(), images + QStringLiteral("check.png"));
    ok &= writeAlarm(dir + QStringLiteral("/alarm.wav"));
    return ok ? 0 : 1;
}
