#include "vision/cammersingleton.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "log/eventrecord.h"
#include "params/lastgood.h"
#include "params/wizardpara.h"
#include "vision/lib/checkrange.h"
#include "vision/visionhooks.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace {

QSqlDatabase paramDb() { return QSqlDatabase::database(QStringLiteral("dbIn"), false); }

enum class RowRead { Found, Missing, Failed };

// Table names are built from the camera number only; every text value is bound.
RowRead readRow(const QString &table, const QString &name, QString *value)
{
    QSqlQuery q(paramDb());
    q.prepare(QStringLiteral("select value from %1 where name=?").arg(table));
    q.addBindValue(name);
    if (!q.exec())
        return RowRead::Failed;
    if (!q.next())
        return RowRead::Missing;
    *value = q.value(0).toString();
    return RowRead::Found;
}

bool insertRow(const QString &table, const QString &name, const QString &value)
{
    QSqlQuery q(paramDb());
    q.prepare(QStringLiteral("insert into %1 values(?, ?)").arg(table));
    q.addBindValue(name);
    q.addBindValue(value);
    return q.exec();
}

// Updates the row and creates it when the table has none, so a value is never dropped because
// its row went missing since the last load.
bool writeRow(const QString &table, const QString &name, const QString &value)
{
    QSqlQuery q(paramDb());
    q.prepare(QStringLiteral("select * from %1 where name=?").arg(table));
    q.addBindValue(name);
    if (!q.exec())
        return false;
    if (!q.next())
        return insertRow(table, name, value);
    q.finish();
    QSqlQuery u(paramDb());
    u.prepare(QStringLiteral("update %1 set value=? where name=?").arg(table));
    u.addBindValue(value);
    u.addBindValue(name);
    return u.exec();
}

bool deleteRow(const QString &table, const QString &name)
{
    QSqlQuery q(paramDb());
    q.prepare(QStringLiteral("delete from %1 where name=?").arg(table));
    q.addBindValue(name);
    return q.exec();
}

// Blank-separated decimal numbers; a missing or unreadable number reads as 0. A row that had an
// unreadable one is not what the station wrote: the caller treats it as damaged.
class NumberList
{
public:
    explicit NumberList(const QString &text) : m_tokens(text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {}
    bool atEnd() const { return m_pos >= m_tokens.size(); }
    bool unreadable() const { return m_unreadable; }
    int next()
    {
        if (atEnd())
            return 0;
        bool ok = false;
        const int v = m_tokens.at(m_pos++).trimmed().toInt(&ok);
        m_unreadable = m_unreadable || !ok;
        return ok ? v : 0;
    }

private:
    QStringList m_tokens;
    int m_pos = 0;
    bool m_unreadable = false;
};

// A row's value as a record shows it: short, on one line.
QString shown(const QString &text)
{
    QString line = text.simplified();
    return line.size() > 40 ? line.left(40) + QStringLiteral("...") : line;
}

QString detectName(int d) { return QStringLiteral("detect%1").arg(d); }
QString ngCountName(int d) { return QStringLiteral("detect%1NGCount").arg(d); }
QString regionName(int d, int i) { return QStringLiteral("ROI%1-%2").arg(d).arg(i); }

int clampedX(int v)
{
    CheckInRange(&v, 1);
    return v;
}
int clampedY(int v)
{
    CheckInRange(&v, 0);
    return v;
}

}  // namespace

CammerSingleton::CammerSingleton(int camNo) : camNo(camNo)
{
    std::fill(&roiNum[0], &roiNum[0] + kMaxDetect, 0);
    std::fill(&roiPara1[0][0], &roiPara1[0][0] + kMaxDetect * kMaxRoi, 0);
    std::fill(&roiPara2[0][0], &roiPara2[0][0] + kMaxDetect * kMaxRoi, 0);
    std::fill(&roiPara3[0][0], &roiPara3[0][0] + kMaxDetect * kMaxRoi, 0);
    std::fill(&roiFunc[0][0], &roiFunc[0][0] + kMaxDetect * kMaxRoi, 0);
    std::fill(&roiType[0][0], &roiType[0][0] + kMaxDetect * kMaxRoi, int(ShapeRect));
    std::fill(&roiOut[0], &roiOut[0] + kMaxRoi, 0);
    std::fill(&cavity[0][0], &cavity[0][0] + kMaxDetect * kMaxCavity, 0);
    std::fill(&roiNGCount[0][0], &roiNGCount[0][0] + kMaxDetect * kMaxRoi, 0);
}

QString CammerSingleton::tableName() const { return QStringLiteral("cammer%1").arg(camNo); }

void CammerSingleton::LoadDatafromFile(RegionMasks *masks)
{
    std::fill(std::begin(m_loadFailed), std::end(m_loadFailed), false);
    m_loadProblems.clear();
    m_unreadableDetections = 0;
    for (int d = 0; d < kMaxDetect; ++d)
        loadDetection(d, masks);
    if (m_loadProblems.isEmpty())
        return;
    if (m_loadProblems.size() == kMaxDetect && m_unreadableDetections == kMaxDetect)
        m_loadProblems = QStringList{QStringLiteral("table unreadable")};
    // Said once per camera, however many rows are damaged; the record names them.
    EventRecord::Insert(LanStr(0) + QLatin1Char(' ') + tableName() + QStringLiteral(": ")
                        + m_loadProblems.join(QStringLiteral("; ")));
    Operator::Warn(0);  // "Camera parameter file error!"
}

bool CammerSingleton::LoadFailed() const
{
    return std::find(std::begin(m_loadFailed), std::end(m_loadFailed), true) != std::end(m_loadFailed);
}

void CammerSingleton::loadFailure(int d, const QString &problem)
{
    m_loadFailed[d] = true;
    m_loadProblems << problem;
}

bool CammerSingleton::loadDetection(int d, RegionMasks *masks)
{
    const QString table = tableName();
    QString text;
    switch (readRow(table, detectName(d), &text)) {
    case RowRead::Found: {
        NumberList numbers(text);
        const bool counted = !numbers.atEnd();
        roiNum[d] = numbers.next();
        for (int c = 0; c < kMaxCavity; ++c)
            cavity[d][c] = numbers.next();
        if (!counted || numbers.unreadable()) {
            loadFailure(d, QStringLiteral("%1 = '%2'").arg(detectName(d), shown(text)));
            roiNum[d] = 0;
            return false;
        }
        break;
    }
    case RowRead::Missing:
        insertRow(table, detectName(d), QStringLiteral("0"));
        roiNum[d] = 0;
        break;
    case RowRead::Failed:
        // No table, or a database that does not answer: nothing of this camera can be trusted.
        loadFailure(d, QStringLiteral("%1 unreadable").arg(detectName(d)));
        ++m_unreadableDetections;
        roiNum[d] = 0;
        return false;
    }

    switch (readRow(table, ngCountName(d), &text)) {
    case RowRead::Found: {
        NumberList numbers(text);
        for (int i = 0; i < kMaxRoi; ++i)
            roiNGCount[d][i] = numbers.next();
        break;
    }
    case RowRead::Missing:
        insertRow(table, ngCountName(d), QStringLiteral("0"));
        break;
    case RowRead::Failed:
        break;
    }

    if (roiNum[d] < 0 || roiNum[d] > kMaxRoi) {
        loadFailure(d, QStringLiteral("%1 = %2").arg(detectName(d)).arg(roiNum[d]));
        roiNum[d] = 0;
        return false;
    }
    bool ok = true;
    for (int i = 0; i < roiNum[d]; ++i)
        ok = loadRegion(d, i, masks) && ok;
    return ok;
}

bool CammerSingleton::loadRegion(int d, int i, RegionMasks *masks)
{
    QString text;
    const RowRead read = readRow(tableName(), regionName(d, i), &text);
    bool ok = true;
    if (read != RowRead::Found) {
        // A region the count promises but the table lacks: the table is damaged.
        SetDefaultRegion(d, i);
        loadFailure(d, QStringLiteral("%1 %2").arg(regionName(d, i), read == RowRead::Missing
                                                                          ? QStringLiteral("missing")
                                                                          : QStringLiteral("unreadable")));
        ok = false;
    } else {
        NumberList numbers(text);
        roiPara1[d][i] = numbers.next();
        roiPara2[d][i] = numbers.next();
        roiPara3[d][i] = numbers.next();
        roiFunc[d][i] = numbers.next();
        roiType[d][i] = numbers.next();
        const int out = numbers.next();
        roiOut[i] = unsigned(out) > 3 ? 0 : out;
        const int count = numbers.next();
        switch (roiType[d][i]) {
        case ShapePolygon:
            if (count == 0 || unsigned(count) > unsigned(RePolygon::MaxPoints)) {
                SetDefaultRegion(d, i);
            } else {
                std::vector<QPoint> points(count);
                for (QPoint &p : points) {
                    const int x = clampedX(numbers.next());
                    const int y = clampedY(numbers.next());
                    p = QPoint(x, y);
                }
                polygon[d][i].setPoints(count, points.data());
            }
            break;
        case ShapeCircle: {
            const int cx = clampedX(numbers.next());
            const int cy = clampedY(numbers.next());
            circle[d][i].setCenter(QPoint(cx, cy));
            circle[d][i].setPackedRadius(numbers.next());
            circle[d][i].UpdateRect();
            break;
        }
        case ShapeRect: {
            const int x1 = clampedX(numbers.next());
            const int y1 = clampedY(numbers.next());
            const int x2 = clampedX(numbers.next());
            const int y2 = clampedY(numbers.next());
            rect[d][i].setCorners(x1, y1, x2, y2);
            break;
        }
        default:
            ok = false;  // a shape the station never writes
            break;
        }
        if (!ok || numbers.unreadable()) {
            loadFailure(d, QStringLiteral("%1 = '%2'").arg(regionName(d, i), shown(text)));
            if (!ok)
                SetDefaultRegion(d, i);
            ok = false;
        }
    }
    const cv::Mat mask = UpdateRegionMask(d, i);
    if (masks)
        (*masks)[d][i] = mask.clone();
    return ok;
}

void CammerSingleton::SetDefaultRegion(int d, int i)
{
    roiPara1[d][i] = 3;
    roiPara2[d][i] = 45;
    roiPara3[d][i] = 100;
    roiFunc[d][i] = FuncDefect;
    roiType[d][i] = ShapeRect;
    roiOut[i] = 0;
    rect[d][i].setCorners(50, 50, 100, 100);
}

bool CammerSingleton::SaveDatatoFile()
{
    bool ok = true;
    for (int d = 0; d < kMaxDetect; ++d) {
        ok = saveDetection(d) && ok;
        if (VisionHooks::sendROIParam)
            VisionHooks::sendROIParam(camNo, d);
    }
    if (ok) {
        // The table now holds what is in memory: a damage found at load is mended.
        std::fill(std::begin(m_loadFailed), std::end(m_loadFailed), false);
        m_loadProblems.clear();
        LastGood::Keep(LastGood::Saved::Teaching);
    }
    return ok;
}

bool CammerSingleton::saveDetection(int d)
{
    const QString table = tableName();
    QSqlDatabase db = paramDb();
    // One transaction per detection: one disk sync instead of one per row.
    const bool inTransaction = db.transaction();
    bool ok = true;

    QStringList detect{QString::number(roiNum[d])};
    for (int c = 0; c < kMaxCavity; ++c)
        detect << QString::number(cavity[d][c]);
    ok = writeRow(table, detectName(d), detect.join(QLatin1Char(' '))) && ok;

    QString counts;
    for (int i = 0; i < kMaxRoi; ++i)
        counts += QString::number(roiNGCount[d][i]) + QLatin1Char(' ');
    ok = writeRow(table, ngCountName(d), counts) && ok;

    const int count = std::clamp(roiNum[d], 0, kMaxRoi);
    for (int i = 0; i < count; ++i)
        ok = writeRow(table, regionName(d, i), regionRow(d, i)) && ok;
    for (int i = count; i < kMaxRoi; ++i)
        ok = deleteRow(table, regionName(d, i)) && ok;

    if (inTransaction && !db.commit())
        ok = false;
    return ok;
}

QString CammerSingleton::regionRow(int d, int i) const
{
    QString row = QStringLiteral("%1 %2 %3 %4 %5 %6 ")
                      .arg(roiPara1[d][i]).arg(roiPara2[d][i]).arg(roiPara3[d][i])
                      .arg(roiFunc[d][i]).arg(roiType[d][i]).arg(roiOut[i]);
    switch (roiType[d][i]) {
    case ShapePolygon: {
        const RePolygon &shape = polygon[d][i];
        row.reserve(row.size() + 12 * (shape.count() + 1));
        row += QString::number(shape.count()) + QLatin1Char(' ');
        for (const QPoint &p : shape.points())
            row += QStringLiteral("%1 %2 ").arg(p.x()).arg(p.y());
        break;
    }
    case ShapeCircle: {
        const Circle &shape = circle[d][i];
        row += QStringLiteral("0 %1 %2 %3 ").arg(shape.center().x()).arg(shape.center().y()).arg(shape.packedRadius());
        break;
    }
    default: {
        const ClustomRect &shape = rect[d][i];
        row += QStringLiteral("0 %1 %2 %3 %4 ")
                   .arg(shape.topLeft().x()).arg(shape.topLeft().y())
                   .arg(shape.bottomRight().x()).arg(shape.bottomRight().y());
        break;
    }
    }
    return row;
}

void CammerSingleton::ApplyFunctionDefaults(int d, int i, int func)
{
    int &p1 = roiPara1[d][i];
    int &p2 = roiPara2[d][i];
    int &p3 = roiPara3[d][i];
    switch (func) {
    case FuncDefect:
    case FuncIgnore: p1 = 3; p2 = 45; p3 = 100; break;
    case FuncSpot: p1 = 50 << 8; p2 = 80; p3 = 500; break;  // min gray 0, max gray 50
    case FuncPosition: p1 = 10; p2 = 10; p3 = 10; break;
    case FuncBlackArea: p2 = 50; p3 = 100; break;
    case FuncWhiteArea: p2 = 200; p3 = 100; break;
    case FuncSimilarity: p2 = 80; break;
    case FuncWhiteNum: p1 = 1; p2 = 128; p3 = (2 << 16) | 1; break;  // 1 to 2 blobs
    case FuncDirection: p1 = 1; p2 = 5000; p3 = 10000; break;
    case FuncDistance: p1 = 1; p2 = 35; p3 = 50; break;
    default: return;
    }
    roiFunc[d][i] = func;
}

int CammerSingleton::NextFunction(int current, const WizardPara &para)
{
    const int switches[FuncCount] = {
        para.enable_defect_detect, para.enable_spot_detect, para.enable_ignore_area,
        para.enable_manual_edit,   para.enable_black_area,  para.enable_white_area,
        para.enable_similarity,    para.enable_white_count, para.enable_direction,
        para.enable_distance,
    };
    const int from = (current >= 0 && current < FuncCount) ? current : FuncCount - 1;
    for (int step = 1; step <= FuncCount; ++step) {
        const int f = (from + step) % FuncCount;
        if (switches[f] != 0)
            return f;
    }
    return current;
}

void CammerSingleton::ChangeFunction(int d, int i, const WizardPara &para)
{
    const int next = NextFunction(roiFunc[d][i], para);
    if (next != roiFunc[d][i])  // no other function offered: the region stays as it is
        ApplyFunctionDefaults(d, i, next);
}

cv::Mat CammerSingleton::UpdateRegionMask(int d, int i)
{
    switch (roiType[d][i]) {
    case ShapeRect: return rect[d][i].UpdateMask();
    case ShapePolygon: return polygon[d][i].UpdateMask();
    case ShapeCircle: return circle[d][i].UpdateMask();
    default: return cv::Mat();
    }
}

QRect CammerSingleton::RegionImageRect(int d, int i) const
{
    switch (roiType[d][i]) {
    case ShapeRect: return rect[d][i].imageRect();
    case ShapePolygon: return polygon[d][i].imageRect();
    case ShapeCircle: return circle[d][i].imageRect();
    default: return QRect();
    }
}

cv::Rect CammerSingleton::RegionCvRect(int d, int i) const
{
    const QRect r = RegionImageRect(d, i);
    return r.isEmpty() ? cv::Rect() : cv::Rect(r.x(), r.y(), r.width(), r.height());
}

bool CammerSingleton::RegionContains(int d, int i, const QPoint &p) const
{
    switch (roiType[d][i]) {
    case ShapeRect: return rect[d][i].Contains(p);
    case ShapePolygon: return polygon[d][i].Contains(p);
    case ShapeCircle: return circle[d][i].Contains(p);
    default: return false;
    }
}

bool CammerSingleton::RegionPtInCtrl(int d, int i, const QPoint &p, int *handle, const ImageViewMap &map) const
{
    switch (roiType[d][i]) {
    case ShapeRect: return rect[d][i].PtInCtrl(p, handle, map);
    case ShapePolygon: return polygon[d][i].PtInCtrl(p, handle, map);
    case ShapeCircle: return circle[d][i].PtInCtrl(p, handle, map);
    default: return false;
    }
}

bool CammerSingleton::RegionSelected(int d, int i) const
{
    switch (roiType[d][i]) {
    case ShapeRect: return rect[d][i].IsSelected();
    case ShapePolygon: return polygon[d][i].IsSelected();
    case ShapeCircle: return circle[d][i].IsSelected();
    default: return false;
    }
}

void CammerSingleton::SetRegionSelected(int d, int i, bool selected)
{
    rect[d][i].SetSelected(selected && roiType[d][i] == ShapeRect);
    polygon[d][i].SetSelected(selected && roiType[d][i] == ShapePolygon);
    circle[d][i].SetSelected(selected && roiType[d][i] == ShapeCircle);
}

QPoint CammerSingleton::RegionOrigin(int d, int i) const
{
    switch (roiType[d][i]) {
    case ShapePolygon: return polygon[d][i].count() > 0 ? polygon[d][i].points().front() : QPoint();
    case ShapeCircle: return circle[d][i].center();
    default: return rect[d][i].topLeft();
    }
}

void CammerSingleton::CopyRegion(int sd, int si, int td, int ti)
{
    roiPara1[td][ti] = roiPara1[sd][si];
    roiPara2[td][ti] = roiPara2[sd][si];
    roiPara3[td][ti] = roiPara3[sd][si];
    roiFunc[td][ti] = roiFunc[sd][si];
    roiType[td][ti] = roiType[sd][si];
    switch (roiType[sd][si]) {
    case ShapeRect: rect[td][ti] = rect[sd][si]; break;
    case ShapePolygon: polygon[td][ti] = polygon[sd][si]; break;
    case ShapeCircle: circle[td][ti] = circle[sd][si]; break;
    default: break;
    }
    SetRegionSelected(td, ti, false);
}
