#include "vision/regionedit.h"

#include "core/globals.h"
#include "params/wizardpara.h"
#include "vision/cameravision.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>

namespace RegionEdit {

namespace {

constexpr int kRowFunctionName[FuncCount] = {25, 15, 17, 21, 392, 393, 398, 521, 561, 581};
constexpr int kRowShapeRect = 74, kRowShapeCircle = 75, kRowShapePolygon = 76;
constexpr int kRowTargetTopLeft = 30, kRowTargetBottomRight = 29, kRowTargetCenter = 27;
constexpr int kRowTargetOuter = 26, kRowTargetInner = 28, kRowTargetPoint = 31;
constexpr int kRowOutputChanged = 1590, kRowCavitiesChanged = 1591;

// Takes slot roiNum[d] for a new region of `type` whose shape the caller has just stored there.
AddOutcome place(CameraVision &view, int d, int i, int type, const WizardPara &para, int *index)
{
    CammerSingleton &regions = view.singleton;
    regions.roiType[d][i] = type;
    NewRegionDefaults(regions, d, i, para);
    regions.roiNGCount[d][i] = 0;
    view.roiValue[d][i] = 0;
    view.roiOK[d][i] = 1;
    regions.roiNum[d] = i + 1;
    view.RebuildMask(d, i);
    if (index)
        *index = i;
    return AddOutcome::Added;
}

bool full(const CammerSingleton &regions, int d) { return regions.roiNum[d] >= kMaxRoi; }

QString shapeName(int type)
{
    switch (type) {
    case ShapeCircle: return LanStr(kRowShapeCircle);
    case ShapePolygon: return LanStr(kRowShapePolygon);
    default: return LanStr(kRowShapeRect);
    }
}

// The function as an added or deleted region's row describes it.
QString describe(const RegionState &r)
{
    switch (r.func) {
    case FuncDefect: return LanStr(78).arg(r.para2).arg(r.para1).arg(r.para3);
    case FuncSpot: return LanStr(77).arg(r.para1 & 0xFF).arg((r.para1 >> 8) & 0xFF).arg(r.para2).arg(r.para3);
    case FuncPosition: return LanStr(79).arg(r.para1).arg(r.para2).arg(r.para3);
    default: return FunctionName(r.func);
    }
}

QString clause(int row, int from, int to) { return from == to ? QString() : LanStr(row).arg(from).arg(to); }

// The changed parameters of a region that kept its function, as the function's clause.
QString parameterClauses(const RegionState &a, const RegionState &b)
{
    QString text;
    switch (b.func) {
    case FuncDefect: {
        const QString s = clause(94, a.para2, b.para2), area = clause(95, a.para3, b.para3),
                      size = clause(96, a.para1, b.para1);
        if (!(s + area + size).isEmpty())
            text = LanStr(97).arg(s, area, size);
        break;
    }
    case FuncSpot: {
        const QString lo = clause(85, a.para1 & 0xFF, b.para1 & 0xFF),
                      hi = clause(86, (a.para1 >> 8) & 0xFF, (b.para1 >> 8) & 0xFF),
                      minArea = clause(87, a.para2, b.para2), maxArea = clause(88, a.para3, b.para3);
        if (!(lo + hi + minArea + maxArea).isEmpty())
            text = LanStr(89).arg(lo, hi, minArea, maxArea);
        break;
    }
    case FuncPosition: {
        const QString acc = clause(90, a.para2, b.para2), match = clause(91, a.para3, b.para3),
                      speed = clause(92, a.para1, b.para1);
        if (!(acc + match + speed).isEmpty())
            text = LanStr(93).arg(acc, match, speed);
        break;
    }
    default:
        break;
    }
    return text;
}

QByteArray shapeBytes(const CammerSingleton &regions, int d, int i)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << regions.roiType[d][i];
    switch (regions.roiType[d][i]) {
    case ShapeRect: out << regions.rect[d][i].outline(); break;
    case ShapeCircle: out << regions.circle[d][i].center() << regions.circle[d][i].packedRadius(); break;
    case ShapePolygon:
        for (const QPoint &p : regions.polygon[d][i].points())
            out << p;
        break;
    default: break;
    }
    return bytes;
}

}  // namespace

void NewRegionDefaults(CammerSingleton &regions, int d, int i, const WizardPara &para)
{
    int &p1 = regions.roiPara1[d][i];
    int &p2 = regions.roiPara2[d][i];
    int &p3 = regions.roiPara3[d][i];
    int &func = regions.roiFunc[d][i];
    if (para.enable_spot_detect) {
        func = FuncSpot; p1 = 12800; p2 = 80; p3 = 500;
    } else if (para.enable_black_area) {
        func = FuncBlackArea; p2 = 50; p3 = 100;
    } else if (para.enable_white_area) {
        func = FuncWhiteArea; p2 = 200; p3 = 100;
    } else if (para.enable_similarity) {
        func = FuncSimilarity; p2 = 80;
    } else if (para.enable_white_count) {
        func = FuncWhiteNum; p1 = 5; p2 = 128; p3 = 1;
    } else if (para.enable_direction) {
        func = FuncDirection; p1 = 1; p2 = 5000; p3 = 10000;
    } else if (para.enable_distance) {
        func = FuncDistance; p1 = 1; p2 = 35; p3 = 50;
    } else {
        func = FuncDefect; p1 = 3; p2 = 45; p3 = 100;
    }
}

AddOutcome AddRect(CameraVision &view, int d, const QRect &outline, const WizardPara &para, int *index)
{
    const QRect r = outline.normalized();
    if (r.width() < 2 || r.height() < 2)
        return AddOutcome::Empty;
    CammerSingleton &regions = view.singleton;
    if (full(regions, d))
        return AddOutcome::Limit;
    const int i = regions.roiNum[d];
    regions.rect[d][i] = ClustomRect(r.left(), r.top(), r.right(), r.bottom());
    return place(view, d, i, ShapeRect, para, index);
}

AddOutcome AddCircle(CameraVision &view, int d, const QPoint &center, int radius, const WizardPara &para, int *index)
{
    if (radius < 2)
        return AddOutcome::Empty;
    CammerSingleton &regions = view.singleton;
    if (full(regions, d))
        return AddOutcome::Limit;
    const int i = regions.roiNum[d];
    regions.circle[d][i] = Circle(center.x(), center.y(), radius, 0);
    return place(view, d, i, ShapeCircle, para, index);
}

AddOutcome AddPolygon(CameraVision &view, int d, const std::vector<QPoint> &points, const WizardPara &para, int *index)
{
    if (points.size() < 3)
        return AddOutcome::TooFewPoints;
    CammerSingleton &regions = view.singleton;
    if (full(regions, d))
        return AddOutcome::Limit;
    const int i = regions.roiNum[d];
    regions.polygon[d][i] = RePolygon(points);
    return place(view, d, i, ShapePolygon, para, index);
}

AddOutcome CopyAt(CameraVision &view, int d, int i, const QPoint &at, int *index)
{
    CammerSingleton &regions = view.singleton;
    if (i < 0 || i >= regions.roiNum[d])
        return AddOutcome::Empty;
    if (full(regions, d))
        return AddOutcome::Limit;
    const int n = regions.roiNum[d];
    regions.CopyRegion(d, i, d, n);
    const QPoint shift = at - regions.RegionOrigin(d, n);
    switch (regions.roiType[d][n]) {
    case ShapeRect: regions.rect[d][n].Move(shift.x(), shift.y()); break;
    case ShapeCircle: regions.circle[d][n].Move(shift.x(), shift.y()); break;
    case ShapePolygon: regions.polygon[d][n].Move(shift.x(), shift.y()); break;
    default: break;
    }
    regions.roiNGCount[d][n] = 0;
    view.roiValue[d][n] = 0;
    view.roiOK[d][n] = 1;
    regions.roiNum[d] = n + 1;
    view.RebuildMask(d, n);
    if (index)
        *index = n;
    return AddOutcome::Added;
}

bool DeleteRegion(CameraVision &view, int d, int i)
{
    CammerSingleton &regions = view.singleton;
    const int n = regions.roiNum[d];
    if (i < 0 || i >= n)
        return false;
    for (int k = i; k + 1 < n; ++k) {
        regions.CopyRegion(d, k + 1, d, k);
        regions.roiNGCount[d][k] = regions.roiNGCount[d][k + 1];
        view.roiValue[d][k] = view.roiValue[d][k + 1];
        view.roiOK[d][k] = view.roiOK[d][k + 1];
        view.roiMask[d][k] = view.roiMask[d][k + 1];
    }
    regions.roiNum[d] = n - 1;
    view.roiMask[d][n - 1] = cv::Mat();
    return true;
}

void DeleteAll(CameraVision &view, int d)
{
    for (int i = 0; i < view.singleton.roiNum[d]; ++i)
        view.roiMask[d][i] = cv::Mat();
    view.singleton.roiNum[d] = 0;
}

std::vector<QPoint> ExtremePoints(const CammerSingleton &regions, int d, int i)
{
    switch (regions.roiType[d][i]) {
    case ShapeRect: return {regions.rect[d][i].topLeft(), regions.rect[d][i].bottomRight()};
    case ShapeCircle: {
        const Circle &c = regions.circle[d][i];
        const int r = c.outerRadius();
        return {c.center() - QPoint(r, r), c.center() + QPoint(r, r)};
    }
    case ShapePolygon: return regions.polygon[d][i].points();
    default: return {};
    }
}

bool MoveAllowed(const std::vector<QPoint> &points, int dx, int dy, QSize image)
{
    for (const QPoint &p : points) {
        const int x = p.x() + dx, y = p.y() + dy;
        if (x < 3 || y < 3 || x >= image.width() - 2 || y >= image.height() - 2)
            return false;
    }
    return true;
}

bool Nudge(CameraVision &view, int d, int i, int dx, int dy, QSize image)
{
    CammerSingleton &regions = view.singleton;
    const int n = regions.roiNum[d];
    const int first = i < 0 ? 0 : i, last = i < 0 ? n - 1 : i;
    if (first < 0 || last >= n || first > last)
        return false;
    for (int k = first; k <= last; ++k)
        if (!MoveAllowed(ExtremePoints(regions, d, k), dx, dy, image))
            return false;
    for (int k = first; k <= last; ++k) {
        switch (regions.roiType[d][k]) {
        case ShapeRect: regions.rect[d][k].Move(dx, dy); break;
        case ShapeCircle: regions.circle[d][k].Move(dx, dy); break;
        case ShapePolygon: regions.polygon[d][k].Move(dx, dy); break;
        default: break;
        }
        view.RebuildMask(d, k);
    }
    return true;
}

QStringList NudgeTargetNames(const CammerSingleton &regions, int d, int i)
{
    if (i < 0 || i >= regions.roiNum[d])
        return {};
    switch (regions.roiType[d][i]) {
    case ShapeRect: return {LanStr(kRowTargetTopLeft), LanStr(kRowTargetBottomRight)};
    case ShapeCircle: return {LanStr(kRowTargetCenter), LanStr(kRowTargetOuter), LanStr(kRowTargetInner)};
    case ShapePolygon: {
        QStringList names;
        for (int k = 0; k < regions.polygon[d][i].count(); ++k)
            names << LanStr(kRowTargetPoint).arg(k + 1);
        return names;
    }
    default: return {};
    }
}

bool ChangeSize(CameraVision &view, int d, int i, int target, int step, QSize image)
{
    CammerSingleton &regions = view.singleton;
    if (i < 0 || i >= regions.roiNum[d])
        return false;
    switch (regions.roiType[d][i]) {
    case ShapeRect: {
        ClustomRect &r = regions.rect[d][i];
        QPoint tl = r.topLeft(), br = r.bottomRight();
        QPoint &moved = target == TopLeft ? tl : br;
        if (!MoveAllowed({moved}, step, step, image))
            return false;
        moved += QPoint(step, step);
        if (br.x() - tl.x() < 2 || br.y() - tl.y() < 2)
            return false;
        r.setCorners(tl.x(), tl.y(), br.x(), br.y());
        break;
    }
    case ShapeCircle: {
        Circle &c = regions.circle[d][i];
        if (target == Center) {
            if (!MoveAllowed(ExtremePoints(regions, d, i), step, step, image))
                return false;
            c.Move(step, step);
            break;
        }
        int outer = c.outerRadius(), inner = c.innerRadius();
        (target == OuterRadius ? outer : inner) += step;
        if (outer < 2 || inner < 0 || inner >= outer)
            return false;
        const QPoint span(outer, outer);
        if (!MoveAllowed({c.center() - span, c.center() + span}, 0, 0, image))
            return false;
        c.setRadii(outer, inner);
        break;
    }
    case ShapePolygon: {
        RePolygon &poly = regions.polygon[d][i];
        if (target < 0 || target >= poly.count())
            return false;
        std::vector<QPoint> points = poly.points();
        if (!MoveAllowed({points[target]}, step, step, image))
            return false;
        points[target] += QPoint(step, step);
        poly.setPoints(int(points.size()), points.data());
        break;
    }
    default:
        return false;
    }
    view.RebuildMask(d, i);
    return true;
}

DetectionState Snapshot(const CammerSingleton &regions, int d)
{
    DetectionState state;
    for (int i = 0; i < std::clamp(regions.roiNum[d], 0, kMaxRoi); ++i)
        state.regions << RegionState{regions.roiFunc[d][i], regions.roiPara1[d][i], regions.roiPara2[d][i],
                                     regions.roiPara3[d][i], regions.roiType[d][i], regions.roiOut[i],
                                     shapeBytes(regions, d, i)};
    for (int k = 0; k < kMaxCavity; ++k)
        if (regions.cavity[d][k] == 2)
            state.cavities << k;
    return state;
}

QString FunctionName(int func)
{
    return func >= 0 && func < FuncCount ? LanStr(kRowFunctionName[func]) : QString::number(func);
}

QStringList ChangeRecords(const DetectionState &before, const DetectionState &after, int camNo,
                          const QString &detectionName)
{
    const QString prefix = LanStr(73).arg(camNo + 1).arg(detectionName);
    QStringList rows;
    const qsizetype n = std::max(before.regions.size(), after.regions.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QString number = QString::number(i + 1);
        if (i >= before.regions.size()) {
            const RegionState &b = after.regions[i];
            rows << prefix + LanStr(80).arg(shapeName(b.type), number, describe(b));
            continue;
        }
        if (i >= after.regions.size()) {
            const RegionState &a = before.regions[i];
            rows << prefix + LanStr(81).arg(shapeName(a.type), number, describe(a));
            continue;
        }
        const RegionState &a = before.regions[i], &b = after.regions[i];
        const bool moved = a.shape != b.shape;
        const bool sameFunction = a.func == b.func;
        const bool parametersSame = a.para1 == b.para1 && a.para2 == b.para2 && a.para3 == b.para3;
        if (!moved && sameFunction && parametersSame && a.out == b.out)
            continue;
        const QString function = sameFunction
                                     ? LanStr(84) + FunctionName(b.func)
                                     : LanStr(82) + FunctionName(a.func) + LanStr(83) + FunctionName(b.func);
        const QString parameters = sameFunction ? parameterClauses(a, b) : QString();
        QString position = moved ? LanStr(98) : QString();
        if (a.out != b.out)
            position += LanStr(kRowOutputChanged).arg(a.out + 1).arg(b.out + 1);
        rows << prefix + LanStr(99).arg(shapeName(b.type), number, function, parameters, position);
    }
    if (before.cavities != after.cavities) {
        QStringList names;
        for (int k : after.cavities)
            names << QString::number(k + 1);
        rows << prefix + LanStr(kRowCavitiesChanged).arg(names.isEmpty() ? QStringLiteral("-") : names.join(QLatin1Char(',')));
    }
    return rows;
}

int IgnoreAlarmPoints(CameraVision &view, int d, QList<int> *refused, int limit)
{
    if (d < 0 || d >= kMaxDetect)
        return 0;
    cv::Mat &ignore = view.IgnorePoints(d);
    if (view.alarmMap.size() != ignore.size())
        return 0;
    int changed = 0;
    for (int i = 0; i < view.singleton.roiNum[d]; ++i) {
        if (view.roiOK[d][i])
            continue;
        if (view.roiValue[d][i] > limit) {
            if (refused)
                *refused << i;
            continue;
        }
        for (int k = 0; k < std::min(view.roiBlobNum[d][i], kMaxBlobRect); ++k) {
            const int *b = view.roiBlobRect[d][i][k];
            const int x1 = std::max(0, b[0]), y1 = std::max(0, b[1]);
            const int x2 = std::min(ignore.cols - 1, b[2]), y2 = std::min(ignore.rows - 1, b[3]);
            for (int y = y1; y <= y2; ++y) {
                const uint8_t *alarm = view.alarmMap.ptr<uint8_t>(y);
                uint8_t *out = ignore.ptr<uint8_t>(y);
                for (int x = x1; x <= x2; ++x) {
                    if (alarm[x] && out[x] != 255) {
                        out[x] = 255;
                        ++changed;
                    }
                }
            }
        }
    }
    return changed;
}

}  // namespace RegionEdit
