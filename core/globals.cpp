#include "core/globals.h"

#include <QMutex>
#include <QtGlobal>

#include <cstdio>

MoJuWizard *gpWin = nullptr;
CNT_Net *gpNet = nullptr;
WizardPara *gpWPara = nullptr;
WizardPara *gpWParaBak = nullptr;
ControlPort *gpControlIO = nullptr;

int gLan = 0;
QString gaLanStr[kTextRows * kLanguages];
QString gaName[18];

QMutex *pMutexIO = nullptr;
QMutex *pMutexSaveFail = nullptr;
QMutex *pMutex[8] = {};
bool isImageFill[8] = {};

void CreateSharedMutexes()
{
    if (!pMutexIO)
        pMutexIO = new QMutex;
    if (!pMutexSaveFail)
        pMutexSaveFail = new QMutex;
    for (QMutex *&mutex : pMutex)
        if (!mutex)
            mutex = new QMutex;
}

QMutex *SharedMutex(QMutex *mutex, const char *name)
{
    if (Q_UNLIKELY(!mutex)) {
        // Also straight to stderr: the message log may be installed and switched off.
        std::fprintf(stderr, "shared mutex %s was never created: the data it guards would go unguarded\n", name);
        qFatal("shared mutex %s was never created: the data it guards would go unguarded", name);
    }
    return mutex;
}

int gfLED = -1;
QString gAppDirPath;
int numCamera = 0;

int gDNum = 2;
char gSerialNB[8][100] = {};
bool gTwoStationLeftSide = true;

unsigned int gDataIn = 0;
unsigned int gDataOut = 0;
std::atomic<bool> gisLostCom{false};
std::atomic<int> gFTemp[16] = {};
std::atomic<bool> gisSafeDoorOpen{false};

int gImageW = 1280;
int gImageH = 1024;
int gImageLen = 1280 * 1024;
int gColorLen = 1280 * 1024;
bool gisColor = false;
bool gisGrayHue = false;
int gCameraID = 0;
int gTempNum = 10;

int gAllNum[8] = {};
int gFailNum[8] = {};
int gContinuousNg[8] = {};

bool gSaveRawImages = false;
