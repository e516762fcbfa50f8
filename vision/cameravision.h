// The vision state of one camera view: images, templates, ignore points, region masks, hit tests and results.
#pragma once

#include "vision/cammersingleton.h"

#include <QPainterPath>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

constexpr int kMaxBlobRect = 99;   // NG rectangles recorded per region
constexpr int kFailFrames = 3;     // recent failed frames kept per detection

// Owned by the camera view (CammerWidget), which delegates its vision methods here; the view
// also owns the CammerRecong that trains and runs on this state. Image buffers have the station's
// image geometry (gImageW x gImageH; one byte per pixel for gray cameras, four bytes R, G, B, A
// when gisColor). The run's images are allocated at construction and reused; the per-detection
// images (ignore points beyond gDNum, failed frames, template slots) only once a detection has
// them, since eight cameras of eight detections of full frames would not fit the panel.
// Detections are numbered from 0 here and from 1 in directory names ("cammer%1%2").
class CameraVision
{
public:
    explicit CameraVision(int camNo);
    CameraVision(const CameraVision &) = delete;
    CameraVision &operator=(const CameraVision &) = delete;

    int camNo() const { return m_camNo; }
    // Start-up of a camera view: the regions from PARAM.db, then the templates and ignore points
    // of detections 0..gDNum-1 from disk. A template or ignore-point file that is there but cannot
    // be used is named in the operation record and in one warning to the operator. The
    // CammerRecong is built after this.
    void LoadFiles();
    // LoadFiles in two steps, for a station that builds its cameras side by side: the template and
    // ignore-point files (any thread; touches only this camera), returning the lines naming files
    // that were there but could not be used, and the report of those lines (the GUI thread).
    QStringList LoadImageFiles();
    static void ReportUnreadable(const QStringList &unreadable);

    // Directory of a detection's files, relative to the station directory: "cammer%1%2" with
    // the camera and the detection counted from 1.
    static QString DetectionDir(int camNo, int detection);
    QString DetectionDir(int detection) const { return DetectionDir(m_camNo, detection); }

    // Region tables of this camera and the mask of each slot (see RegionMasks).
    CammerSingleton singleton;
    RegionMasks roiMask;
    // Loads the region tables from PARAM.db and rebuilds every mask.
    void LoadRegions() { singleton.LoadDatafromFile(&roiMask); }
    // Rebuilds the mask of slot (d, i) from its shape after an edit.
    void RebuildMask(int d, int i) { roiMask[d][i] = singleton.UpdateRegionMask(d, i).clone(); }

    // Images of the camera image's format: the frame taken for the running inspection, the working
    // image (position-corrected), the copy judged by the run, and the image the view shows.
    cv::Mat captureImage;
    cv::Mat workImage;
    cv::Mat detectImage;
    cv::Mat displayImage;
    bool isColor() const { return m_color; }
    // Makes captureImage a view of a frame buffer the camera view owns (gImageW x gImageH of the
    // camera's format), so a taken frame needs no further copy. The buffer must outlive this object.
    void AttachCaptureBuffer(uint8_t *bytes);
    // One byte per pixel of a camera-format image: gray images as they are, colour images reduced
    // to gray (gisGrayHue set) or hue, written into `out` (reused when it fits).
    static void OneChannel(const cv::Mat &image, cv::Mat &out);

    // Ignore points per detection: 8-bit, image size, non-zero = alarms ignored at that pixel.
    // Empty means no point ignored: detections from gDNum on at construction, and every
    // detection whose file is missing or ignores nothing once loaded.
    cv::Mat ignorePoint[kMaxDetect];
    // The ignore points of detection d for editing, made (all zero) when it has none yet.
    cv::Mat &IgnorePoints(int d);
    // Reads "cammer%1%2/ignorepoint.bmp" of detections 1..gDNum; a missing, unreadable or
    // mis-sized file gives an all-zero image. Returns a line naming each file that was there but
    // could not be used.
    QStringList LoadIgnorePoint();
    // Writes the ignore points of detection d as an 8-bit gray BMP, takes the last good copy and
    // hands the file to the network service. False when the file could not be written.
    bool SaveIgnorePoint(int d);

    // Template library per detection: gTempNum slots of the camera image's format; a slot that
    // holds no template is empty.
    std::vector<cv::Mat> tempImage[kMaxDetect];
    std::vector<int> tempFlag[kMaxDetect];  // 1 = the slot holds a template
    int tempCount[kMaxDetect] = {};
    int tempCur[kMaxDetect] = {};
    bool isReTrain = false;  // set when the library changed and the models are out of date

    // Templates kept in their files only. Only training and the editor look at templates; the
    // running station keeps the trained models, so with this set the pixels of every template that
    // its file holds are dropped once training has used them (ParkTemplates) and read back by
    // Template() when needed. Off for tools and tests that teach templates in memory.
    bool parkTemplates = false;
    // 1 = the slot's pixels are those of its file (read from it, or written to it since).
    std::vector<uint8_t> tempInFile[kMaxDetect];
    // Slot j of detection d, read back from its file when it was parked. A file that can no longer
    // be read leaves the slot without a template, as at start-up: its flag cleared, slot 0 the
    // synthetic template, the file named in the operation record. Empty when the slot holds none.
    const cv::Mat &Template(int d, int j);
    // With parkTemplates set, drops the pixels of detection d's templates that their files hold.
    void ParkTemplates(int d);
    // Makes the captured image template 0 of detection d (resample) and writes its file.
    bool SaveReTrainImage(int d);

    // Recent failed frames per detection: the working image copied into slot counter mod 3; a
    // slot no frame has reached yet is empty.
    cv::Mat failFrame[kMaxDetect][kFailFrames];
    int failCount[kMaxDetect] = {};
    void KeepFailedFrame(int d);

    // Results of the last run.
    uint8_t imageOK = 1;
    uint8_t roiOK[kMaxDetect][kMaxRoi];
    int roiValue[kMaxDetect][kMaxRoi];
    int roiBlobNum[kMaxDetect][kMaxRoi];
    // roiBlobRect[d][i][k] = x1, y1, x2, y2 of NG rectangle k < roiBlobNum[d][i].
    std::unique_ptr<int[][kMaxRoi][kMaxBlobRect][4]> roiBlobRect;
    // Edge points of distance regions: count 0..2, then x, y of each point.
    int roiRefPoint[kMaxDetect][kMaxRoi][5];
    int roiCurPoint[kMaxDetect][kMaxRoi][5];
    cv::Mat alarmMap;  // 8-bit, image size, non-zero = NG pixel of the last run
    // For the judged-image annotation: the outline of region (d, i) in image pixels, and the
    // limit it is judged against as the value line shows it ("80", or "10--500" for a spot region).
    QPainterPath RegionOutline(int d, int i) const;
    QString RegionLimitText(int d, int i) const;

    // Editor state and hit tests, all on detection d; p in image pixels, map for handle distances.
    int selectedRoi = -1;  // selected region of the editor's detection, -1 none
    int hitHandle = RegionShape::NoHandle;
    QPoint pressPoint;     // where the drag started
    QPoint dragOrigin;     // first stored point of the selected shape at that moment
    // True when a region is selected and p lies inside it or on one of its handles.
    bool PtInRegion(int d, const QPoint &p, const ImageViewMap &map = ImageViewMap()) const;
    // Selects the first region hit by p, searching cyclically from the selected one; false
    // (selection unchanged) when none is hit.
    bool PtInRect(int d, const QPoint &p, const ImageViewMap &map = ImageViewMap());
    // True when p lies on the move handle of the selected region.
    bool PtInRectMove(int d, const QPoint &p, const ImageViewMap &map = ImageViewMap()) const;
    // Deselects every region of detection d.
    void ClearSelection(int d);

    // Copies the regions of detection `from` over those of detection `to`: count, parameters,
    // functions, shapes (deselected) and masks.
    void CopyDetection(int from, int to);
    // When the shared-parameter switch is in force, copies by machine mode: modes 0 and 3 product
    // to mould, modes 1 and 2 the left side to the right side. True when something was copied.
    bool CopyPara();

private:
    int m_camNo;
    bool m_color;
};
