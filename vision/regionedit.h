// The region editor's rules: adding, moving, copying and deleting regions, the change record and ignore points.
#pragma once

#include "vision/cammersingleton.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

class CameraVision;
class WizardPara;

// Plain functions on a camera's region tables (CameraVision::singleton and its masks); the region
// editor's screens call them and show the outcome. Coordinates are image pixels.
namespace RegionEdit {

enum class AddOutcome {
    Added,
    Limit,         // the detection holds kMaxRoi regions: "The total number of area is limited, ..."
    TooFewPoints,  // a polygon of fewer than 3 vertices: nothing is created
    Empty,         // a rectangle or circle of no size
};

// The function and parameters a new region of slot (d, i) gets: the first function switched on in
// the order spot, black area, white area, similarity, white count, direction, distance, and
// otherwise defect, with that function's starting values.
void NewRegionDefaults(CammerSingleton &regions, int d, int i, const WizardPara &para);

// New regions of detection d; *index gets the new slot.
AddOutcome AddRect(CameraVision &view, int d, const QRect &outline, const WizardPara &para, int *index = nullptr);
AddOutcome AddCircle(CameraVision &view, int d, const QPoint &center, int radius, const WizardPara &para,
                     int *index = nullptr);
AddOutcome AddPolygon(CameraVision &view, int d, const std::vector<QPoint> &points, const WizardPara &para,
                      int *index = nullptr);
// Duplicates region i into a new slot, its shape moved so that its first point lies at `at`.
AddOutcome CopyAt(CameraVision &view, int d, int i, const QPoint &at, int *index = nullptr);

// Removes region i; the later regions move down by one slot. False for no such region.
bool DeleteRegion(CameraVision &view, int d, int i);
void DeleteAll(CameraVision &view, int d);

// The points a move checks: rectangle corners, circle centre with its radius, polygon vertices.
std::vector<QPoint> ExtremePoints(const CammerSingleton &regions, int d, int i);
// A move by (dx, dy) is allowed when every moved point keeps 3 <= x < W - 2 and 3 <= y < H - 2
// of the image.
bool MoveAllowed(const std::vector<QPoint> &points, int dx, int dy, QSize image);
// Moves region i (or, with i < 0, every region of d) by (dx, dy) when allowed; rebuilds masks.
bool Nudge(CameraVision &view, int d, int i, int dx, int dy, QSize image);

// The point or radius the size buttons change.
enum NudgeTarget { TopLeft = 0, BottomRight = 1, Center = 0, OuterRadius = 1, InnerRadius = 2 };
// The targets a region offers, as the editor names them ("T-L Point", "Center", "Point %1 ", ...).
QStringList NudgeTargetNames(const CammerSingleton &regions, int d, int i);
// Changes target `target` of region i by `step` (+10, +1, -1, -10): a corner or a polygon point
// moves by step in x and y (within the image limits), a radius grows or shrinks. False when refused.
bool ChangeSize(CameraVision &view, int d, int i, int target, int step, QSize image);

// What the change record compares: a detection's regions as they stood.
struct RegionState
{
    int func = 0, para1 = 0, para2 = 0, para3 = 0, type = 0;
    int out = 0;       // NG output group (shared by region number across detections)
    QByteArray shape;  // the stored outline
};
struct DetectionState
{
    QList<RegionState> regions;
    QList<int> cavities;  // the checked cavities (0-based)
};
DetectionState Snapshot(const CammerSingleton &regions, int d);

// The function's name as the editor shows it (text-table row).
QString FunctionName(int func);
// The operation-record rows for the differences between `before` and `after` of one detection,
// each after the prefix "Detection %2 of camera %1 ": added, deleted and changed regions; an
// unchanged region gives no row. A changed output group adds its clause to the region's row; changed
// cavity flags give one row of their own.
QStringList ChangeRecords(const DetectionState &before, const DetectionState &after, int camNo,
                          const QString &detectionName);

// "Ignore Alarm P" on detection d: for every NG region whose measured value is at most `limit`,
// the NG pixels of alarmMap inside its NG rectangles (inclusive) become 255 in the ignore-point
// image. Regions above the limit are left out and listed in *refused (0-based). Returns the
// number of pixels newly set.
int IgnoreAlarmPoints(CameraVision &view, int d, QList<int> *refused, int limit = 2000);

}  // namespace RegionEdit
