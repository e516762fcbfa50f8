// The region tables of one camera (shapes, functions, parameters, cavities) and their rows in PARAM.db.
#pragma once

#include "vision/lib/regionshape.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

// Room of the tables: detections per camera, regions per detection, cavities per detection.
constexpr int kMaxDetect = 8;
constexpr int kMaxRoi = 50;
constexpr int kMaxCavity = 16;

// Region functions (roiFunc).
enum RoiFunction : int {
    FuncDefect = 0,
    FuncSpot = 1,
    FuncIgnore = 2,
    FuncPosition = 3,
    FuncBlackArea = 4,
    FuncWhiteArea = 5,
    FuncSimilarity = 6,
    FuncWhiteNum = 7,
    FuncDirection = 8,
    FuncDistance = 9,
    FuncCount = 10,
};

// Which shape of a slot is in force (roiType).
enum RoiShapeType : int { ShapeRect = 1, ShapePolygon = 2, ShapeCircle = 4 };

// One mask per region slot, owned by the camera view: 8-bit, the size of the region's image
// rectangle, non-zero inside the region.
using RegionMasks = cv::Mat[kMaxDetect][kMaxRoi];

class WizardPara;

// One per camera, owned by the camera view. Region i of detection d is valid while
// i < roiNum[d]; regions stay dense. Outlines are in image pixels (gImageW x gImageH).
class CammerSingleton
{
public:
    explicit CammerSingleton(int camNo);

    int camNo;
    int roiNum[kMaxDetect];
    int roiPara1[kMaxDetect][kMaxRoi];
    int roiPara2[kMaxDetect][kMaxRoi];
    int roiPara3[kMaxDetect][kMaxRoi];
    int roiFunc[kMaxDetect][kMaxRoi];
    ClustomRect rect[kMaxDetect][kMaxRoi];
    Circle circle[kMaxDetect][kMaxRoi];
    RePolygon polygon[kMaxDetect][kMaxRoi];
    int roiType[kMaxDetect][kMaxRoi];
    int roiOut[kMaxRoi];  // NG output group 0..3 of region number i, the same in every detection
    int cavity[kMaxDetect][kMaxCavity];  // 2 = cavity selected, 0 = not
    int roiNGCount[kMaxDetect][kMaxRoi];

    // Table of this camera in PARAM.db: "cammer" + the 0-based camera number.
    QString tableName() const;

    // Reads detections 0..7 from the table (connection "dbIn"), repairs what is out of range and
    // rebuilds the mask of every loaded region into `masks` (may be null). Missing 'detect%1' and
    // 'detect%1NGCount' rows are created (a detection never taught). A table that cannot be
    // read, a region count that is not a number or outside 0..50 (that detection stays empty), a
    // region row that is missing or of an unknown shape (the default region stands in) or not
    // numbers: the detection
    // failed to load; the operation record names the rows and the operator gets one warning
    // "Camera parameter file error!".
    void LoadDatafromFile(RegionMasks *masks);
    // True when a detection (or any) failed to load; cleared by a successful save.
    bool LoadFailed(int d) const { return m_loadFailed[d]; }
    bool LoadFailed() const;
    // True when the table holds no region for detection d by a count stored as 0 (never taught).
    bool NotTaught(int d) const { return !m_loadFailed[d] && roiNum[d] == 0; }
    // Writes detections 0..7 back: the detection row, the NG counters, every region row and the
    // removal of rows above the region count; after each detection VisionHooks::sendROIParam.
    // Then the last good copy is taken (LastGood::Keep). False when a statement failed (the rest
    // is still written).
    bool SaveDatatoFile();

    // The default region of slot (d, i): a defect rectangle (50, 50)-(100, 100) with 3, 45, 100.
    void SetDefaultRegion(int d, int i);
    // The values a region takes when switched to `func` (unchanged parameters stay).
    void ApplyFunctionDefaults(int d, int i, int func);
    // The next function after the region's current one, in the order 0..9 and round again, whose
    // switch is on in `para`; the current function when no switch is on.
    static int NextFunction(int current, const WizardPara &para);
    // Steps the region's function (SlotChangeFunc) and sets that function's defaults.
    void ChangeFunction(int d, int i, const WizardPara &para);

    // The shape in force of slot (d, i), updated to the image: its image rectangle and mask (an
    // empty Mat for an empty rectangle or an unknown shape type).
    cv::Mat UpdateRegionMask(int d, int i);
    // Inclusive image rectangle of the shape in force (as of its last setImageRect/UpdateMask).
    QRect RegionImageRect(int d, int i) const;
    cv::Rect RegionCvRect(int d, int i) const;
    // Editor helpers on the shape in force.
    bool RegionContains(int d, int i, const QPoint &p) const;
    bool RegionPtInCtrl(int d, int i, const QPoint &p, int *handle, const ImageViewMap &map) const;
    bool RegionSelected(int d, int i) const;
    void SetRegionSelected(int d, int i, bool selected);
    // The shape's first stored point: rectangle top-left, circle centre, first polygon vertex.
    QPoint RegionOrigin(int d, int i) const;
    // Copies region (sd, si) into slot (td, ti): parameters, function, type and the shape in force
    // (deselected). roiOut is shared by region number and so needs no copy.
    void CopyRegion(int sd, int si, int td, int ti);

private:
    bool loadDetection(int d, RegionMasks *masks);
    bool loadRegion(int d, int i, RegionMasks *masks);
    void loadFailure(int d, const QString &problem);
    bool saveDetection(int d);
    QString regionRow(int d, int i) const;

    bool m_loadFailed[kMaxDetect] = {};
    QStringList m_loadProblems;  // the damaged rows of the last load, for the record
    int m_unreadableDetections = 0;  // all of them: the table is missing or the database fails
};
