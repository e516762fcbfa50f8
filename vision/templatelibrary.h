// The template library of a camera view: loading, resample, adding, deleting and browsing templates.
#pragma once

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <span>

class CameraVision;
class CammerRecong;

// The operations the region editor calls. Questions, warnings and the password check go through
// the operator port; files live in CameraVision::DetectionDir ("cammer%1%2/template%3.bmp").
// Every operation that changes the files takes the last good copy after it (LastGood::Keep).
namespace TemplateLibrary {

QString TemplatePath(int camNo, int detection, int slot);

// Reads every slot of detections 0..gDNum-1. A file that is damaged or of the wrong size or bit
// depth counts as absent (slot zeroed, flag 0); an empty slot 0 gets the synthetic template: 255
// in the middle half of the image, 0 elsewhere. Returns a line naming each file that was there but
// could not be used (UnreadableFileText); the caller reports them.
QStringList LoadTemplates(CameraVision &view);
// Writes slot j of detection d to its file. False when it could not be written.
bool SaveTemplate(CameraVision &view, int d, int slot);
// Reads a template file of the camera's format into `image`; false (image untouched) when the file
// is missing, damaged or does not fit the camera.
bool ReadTemplate(const CameraVision &view, const QString &path, cv::Mat &image);
// Makes slot 0 of detection d the synthetic template (not a file) and counts it.
void SetSyntheticTemplate(CameraVision &view, int d);

// Resample: the captured image becomes the working image, the shown image and template 0 of
// detection d, written to template0.bmp and handed to the network service.
bool Resample(CameraVision &view, int d);

// What the editor knows when "Add As Temp" is pressed.
struct AddRequest
{
    int detection = 0;              // the detection shown in the editor
    bool alarmPending = false;      // an alarm of the inspection cycle waits on a live image
    bool alarmOnThisCamera = true;  // the shown view is the alarming camera
    int alarmDetection = 0;         // the detection that raised the alarm
    bool doorMustBeOpen = false;    // the parameters require the safety door open to add
    bool doorOpen = false;
    bool liveShown = true;          // false: the recent failed frame `failFrameShown` is shown
    int failFrameShown = 0;
};

enum class AddResult {
    Added,
    NotAlarmCamera,  // "Tip: Please switch to the alarm camera before proceeding!"
    DoorClosed,      // "Open the safety door to lift the alarm"
    SingleSlot,      // "Warning: The maximum template number is 1, operation failed!"
    NotAllowed,      // password check failed
    Cancelled,       // the operator answered no
    WriteFailed,
};

// SlotAddTemp: puts the shown image into a free slot or, when the library is full, into the slot
// of the oldest file other than template0.bmp (a file numbered beyond the library is removed and
// the last slot used), writes the file and retrains detection d with `recong` (may be null).
// *slot gets the slot used.
AddResult AddTemplate(CameraVision &view, CammerRecong *recong, const AddRequest &request, int *slot = nullptr);

// SlotTempDeleteCur: removes the shown template of detection d; template 0 is refused with the
// "Resample" hint. True when a template was removed.
bool DeleteCurrent(CameraVision &view, int d);

// SlotTempDeleteAll: every detection of every view keeps only template 0, on disk and in memory.
void DeleteAll(std::span<CameraVision *const> views);

// SlotTempLast / SlotTempNext: steps tempCur of detection d by -1 or +1 to the next slot that
// holds a template, wrapping around; returns the new tempCur.
int Browse(CameraVision &view, int d, int step);

}  // namespace TemplateLibrary
