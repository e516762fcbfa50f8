#include "core/panel.h"

#include "core/globals.h"

#include <QThread>
#include <QtDebug>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr unsigned long kIoctlLamps = 0x5A018000;
constexpr unsigned long kIoctlBacklightOn = 0x5A018B00;
constexpr unsigned long kIoctlBacklightOff = 0x5A018A00;

std::atomic<int> lampByte{0};
std::atomic<bool> screenOff{false};

}  // namespace

void OpenLampDevice()
{
    QByteArray path = qgetenv("MOULD_LED_DEVICE");
    if (path.isEmpty())
        path = "/dev/led";
    gfLED = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (gfLED < 0)
        qWarning("lamp device %s not available; lamps and backlight are not driven", path.constData());
}

void LCDOnOff(int on)
{
    if (gfLED >= 0)
        ::ioctl(gfLED, on ? kIoctlBacklightOn : kIoctlBacklightOff);
    screenOff = !on;
}

void LEDOnOff(int lamp, int on)
{
    if (lamp < 0 || lamp > 7)
        return;
    int byte = lampByte.load();
    byte = on ? (byte | (1 << lamp)) : (byte & ~(1 << lamp));
    lampByte = byte;
    if (gfLED >= 0)
        ::ioctl(gfLED, kIoctlLamps | static_cast<unsigned long>(byte & 0xFF));
}

int LampByte() { return lampByte.load(); }

bool IsScreenOff() { return screenOff.load(); }

void StopWTD() { QThread::sleep(1); }

void Exit(int status)
{
    QThread::sleep(1);
    std::fflush(nullptr);
    ::_exit(status);
}
