// The status lines of a camera view, composed from the cycle state and the camera's counters.
#pragma once

#include "ui/cammerwidget.h"

#include <QList>
#include <QString>
#include <QStringList>

// Everything a camera view's status says, gathered by the main window at paint time.
struct CameraStatus
{
    int camera = 0;             // 0-based position
    int detectState = 1;        // 1 detecting, 2 re-sampling, 3 stopped
    QString stageName;          // the stage counting down, else the stage last detected
    float delayLeft = 0;        // seconds left of that stage's trigger delay, 0 when none runs
    int cycleTimeTenths = 0;    // the last machine cycle, 0.1 s
    int continuousNg = 0;       // product failures in a row
    int continuousNgLimit = 0;  // ... before the continuous-NG alarm (word 103)
    int templates = 0;          // templates of the shown detection
    int templateSlots = 0;      // template slots per detection
    QString verdict;            // "OK" / "NG" while a result is shown, else empty
    int ngCount = 0;
    int totalCount = 0;
    double fps = 0;
    bool hideNgCount = false;   // word 154: total and frame rate only
    bool skipping = false;
    int skipCount = 0;
    double meanGray = 0;
    bool tableError = false;    // the camera's regions could not be read (row 0)
    bool notTaught = false;     // the shown detection holds no region (row 1020)
    int clampHeldForInput = 0;  // clamping held until the next stage's input (1-based), 0 none
    QStringList healthWarnings; // the camera's picture drifting since training (amber, warns only)
};

// The lines top to bottom: the detection state (row 312 green, 311 red, 310 cyan), row 313 (camera
// and stage), "Camera parameter file error!" (row 0, red), "Not taught" (row 1020, amber) and the
// held clamp's awaited input (row 1113, amber) when they hold, then rows 314, 315, 316 (655 when
// the NG count is hidden), 575 while skipping, 367, and the camera's drift warnings in amber.
QList<ViewStatusLine> CameraStatusLines(const CameraStatus &status);
