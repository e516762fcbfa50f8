// Process-wide state shared by every part of the station, declared once here and defined in globals.cpp.
#pragma once

#include <QString>
#include <atomic>

class QMutex;
class MoJuWizard;
class CNT_Net;
class WizardPara;
class ControlPort;

// Main objects, created once at start-up and never destroyed before exit.
extern MoJuWizard *gpWin;
extern CNT_Net *gpNet;
extern WizardPara *gpWPara;     // live parameter record
extern WizardPara *gpWParaBak;  // edit copy used by the settings screens
extern ControlPort *gpControlIO;

// Text table: 2048 rows of (Simplified Chinese, English, Traditional Chinese), looked up as
// row * 3 + gLan. Filled once at start-up by FillTextTable() (app/texttable.h).
constexpr int kTextRows = 2048;
constexpr int kLanguages = 3;
extern int gLan;  // 0 Simplified Chinese, 1 English, 2 Traditional Chinese
extern QString gaLanStr[kTextRows * kLanguages];

// The text of a table row in the current language; an empty text for a row outside the table.
inline const QString &LanStr(int row)
{
    static const QString empty;
    const int lan = (gLan >= 0 && gLan < kLanguages) ? gLan : 0;
    if (row < 0 || row >= kTextRows)
        return empty;
    return gaLanStr[row * kLanguages + lan];
}

// Display names of the machine signals: 0-8 inputs, 9-17 outputs (0-3 and 4-7 in the fixed modes).
extern QString gaName[18];

// Mutexes: the IO words, the failed-image queue, and one per camera slot for its frame buffer.
extern QMutex *pMutexIO;
extern QMutex *pMutexSaveFail;
extern QMutex *pMutex[8];
extern bool isImageFill[8];  // a new frame is in the slot's buffer; guarded by pMutex[slot]

// Creates the shared mutexes that do not exist yet, as the start-up does before any thread runs
// (programs and tests that bring the station's parts up without main() call it).
void CreateSharedMutexes();
// The shared mutex to lock. QMutexLocker on a null mutex silently locks nothing and leaves the
// data unguarded, so a mutex nobody created ends the process with its name, in every build.
QMutex *SharedMutex(QMutex *mutex, const char *name);

extern int gfLED;            // lamp and backlight device, negative when it could not be opened
extern QString gAppDirPath;  // directory of the executable
extern int numCamera;        // cameras found at start-up

// Parameter store.
extern int gDNum;                 // detection stages in force
extern char gSerialNB[8][100];    // serial number of the camera bound to each slot
extern bool gTwoStationLeftSide;  // modes 1 and 2: which side of a two-station machine is active

// Machine IO. gDataIn and gDataOut are guarded by pMutexIO; the others are single words written
// by one thread and read by others.
extern unsigned int gDataIn;   // bit k = input k+1 of the board
extern unsigned int gDataOut;  // bit k drives output k+1
extern std::atomic<bool> gisLostCom;
extern std::atomic<int> gFTemp[16];
extern std::atomic<bool> gisSafeDoorOpen;

// Image geometry and camera back-end.
extern int gImageW;
extern int gImageH;
extern int gImageLen;   // bytes of a gray image
extern int gColorLen;   // bytes of a colour image (4 per pixel), gImageLen for gray cameras
extern bool gisColor;
extern bool gisGrayHue;
extern int gCameraID;   // camera back-end code, 0 when none is configured
extern int gTempNum;    // templates per region

// Inspection counters: detections and failed detections per camera, consecutive failures per slot.
extern int gAllNum[8];
extern int gFailNum[8];
extern int gContinuousNg[8];

// Every camera's working image is saved at each detection ("./originalimage/..."); set by the
// button panel, read by the cycle, both on the GUI thread.
extern bool gSaveRawImages;
