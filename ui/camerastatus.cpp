#include "ui/camerastatus.h"

#include "core/globals.h"

namespace {

constexpr int kRowResampling = 310;
constexpr int kRowStopping = 311;
constexpr int kRowDetecting = 312;
constexpr int kRowCamera = 313;
constexpr int kRowLately = 314;
constexpr int kRowTemplates = 315;
constexpr int kRowCounts = 316;
constexpr int kRowCountsNoNg = 655;
constexpr int kRowSkipping = 575;
constexpr int kRowMeanGray = 367;
constexpr int kRowSeconds = 540;
constexpr int kRowTableError = 0;
constexpr int kRowNotTaught = 1020;
constexpr int kRowClampHeldForInput = 1113;

QString seconds(double value) { return QString::number(value, 'f', 1) + LanStr(kRowSeconds); }

}  // namespace

QList<ViewStatusLine> CameraStatusLines(const CameraStatus &s)
{
    const QColor white(240, 240, 240);
    QList<ViewStatusLine> lines;
    switch (s.detectState) {
    case 2:
        lines.append({LanStr(kRowResampling), QColor(0, 230, 230), true});
        break;
    case 3:
        lines.append({LanStr(kRowStopping), QColor(235, 30, 30), true});
        break;
    default:
        lines.append({LanStr(kRowDetecting), QColor(40, 220, 40), true});
        break;
    }
    const QString countdown = s.delayLeft > 0 ? seconds(s.delayLeft) : QString();
    lines.append({LanStr(kRowCamera).arg(s.camera + 1).arg(s.stageName, countdown).trimmed(), white});
    // Under the stage it concerns: nobody should take a camera that checks nothing for a checked one.
    if (s.tableError)
        lines.append({LanStr(kRowTableError), QColor(255, 80, 80), true});
    if (s.notTaught)
        lines.append({LanStr(kRowNotTaught), QColor(255, 200, 0), true});
    // Why the machine stands with no alarm: the check that allows clamping waits for its input.
    if (s.clampHeldForInput > 0)
        lines.append({LanStr(kRowClampHeldForInput).arg(s.clampHeldForInput), QColor(255, 200, 0)});
    lines.append({LanStr(kRowLately).arg(seconds(s.cycleTimeTenths / 10.0)).arg(s.continuousNg).arg(s.continuousNgLimit),
                  white});
    const QColor verdictColour = s.verdict == QLatin1String("NG") ? QColor(255, 80, 80) : white;
    lines.append({LanStr(kRowTemplates).arg(s.templates).arg(s.templateSlots).arg(s.verdict).trimmed(), verdictColour});
    const QString fps = QString::number(s.fps, 'f', 1);
    if (s.hideNgCount)
        lines.append({LanStr(kRowCountsNoNg).arg(s.totalCount).arg(fps), white});
    else
        lines.append({LanStr(kRowCounts).arg(s.ngCount).arg(s.totalCount).arg(fps), white});
    if (s.skipping)
        lines.append({LanStr(kRowSkipping).arg(s.camera + 1).arg(s.skipCount), QColor(255, 200, 0)});
    lines.append({LanStr(kRowMeanGray).arg(qRound(s.meanGray)), white});
    for (const QString &warning : s.healthWarnings)
        lines.append({warning, QColor(255, 200, 0)});
    return lines;
}
