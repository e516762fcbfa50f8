#include "ui/io/iostatuswidget.h"

#include "core/globals.h"
#include "params/wizardpara.h"
#include "ui/widgets/ctypecom.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kRowCycle = 110;     // "%1  Cycle %2S"
constexpr int kRowUnlogged = 156;
constexpr int kRowLogged = 308;
constexpr int kRowGroup = 557;     // "Parameter group"
constexpr int kRowLinkLost = 1505;

const QColor kBackground(0x22, 0x2c, 0x38);
const QColor kText(0xe8, 0xee, 0xf4);
const QColor kDim(0x8a, 0x98, 0xa8);
const QColor kInputOn(0x3c, 0xc8, 0x5a);
const QColor kOutputOn(0xf0, 0xa0, 0x30);
const QColor kOff(0x45, 0x50, 0x5c);
const QColor kAlarm(0xe0, 0x40, 0x40);

bool customMode() { return gpWPara && gpWPara->work_mode == 4; }

// A signal name as drawn: control characters from an edited name.txt become blanks.
QString shownName(QString name)
{
    for (QChar &c : name)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return name.trimmed();
}

}  // namespace

IOStatusWidget::IOStatusWidget(Source source, QWidget *parent)
    : QWidget(parent)
    , m_source(std::move(source))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &IOStatusWidget::refresh);
    m_timer.start();
}

QList<IOStatusWidget::Lamp> IOStatusWidget::inputs() const
{
    // Fixed modes: inputs 1-4 named by gaName 0-3; custom mode: inputs 1-9 by gaName 0-8.
    const int count = customMode() ? 9 : 4;
    QList<Lamp> lamps;
    for (int k = 0; k < count; ++k)
        lamps.append({QStringLiteral(" N %1 ").arg(k + 1), shownName(gaName[k]), m_io.input(k)});
    return lamps;
}

QList<IOStatusWidget::Lamp> IOStatusWidget::outputs() const
{
    // Fixed modes: outputs 1-4 named by gaName 4-7; custom mode: outputs 1-9 by gaName 9-17.
    const int count = customMode() ? 9 : 4;
    const int first = customMode() ? 9 : 4;
    QList<Lamp> lamps;
    for (int k = 0; k < count; ++k)
        lamps.append({QStringLiteral(" N %1 ").arg(k + 1), shownName(gaName[first + k]), m_io.output(k)});
    return lamps;
}

QString IOStatusWidget::loginText() const
{
    const int level = m_source.loginLevel ? m_source.loginLevel() : 0;
    return LanStr(level > 0 ? kRowLogged : kRowUnlogged);
}

QString IOStatusWidget::groupText() const
{
    QString name = m_source.parameterGroup ? m_source.parameterGroup() : QString();
    if (name.isEmpty())
        name = QStringLiteral("default");
    return QStringLiteral("%1: %2").arg(LanStr(kRowGroup), name);
}

QString IOStatusWidget::cycleText(const QDateTime &now) const
{
    const int tenths = m_source.cycleTimeTenths ? m_source.cycleTimeTenths() : 0;
    return LanStr(kRowCycle)
        .arg(now.toString(QStringLiteral("yyyy-MM-dd hh.mm.ss")))
        .arg(QString::number(std::max(tenths, 0) / 10.0, 'f', 1));
}

QString IOStatusWidget::shownTexts() const
{
    QString all = loginText() + groupText() + cycleText(QDateTime::currentDateTime());
    for (const QList<Lamp> &row : {inputs(), outputs()})
        for (const Lamp &lamp : row)
            all += lamp.name + QLatin1Char(lamp.on ? '1' : '0');
    return all + QLatin1Char(m_io.lost ? 'L' : '-');
}

void IOStatusWidget::refresh()
{
    m_io = IoSnapshot::Take();
    const QString texts = shownTexts();
    if (texts != m_shown) {
        m_shown = texts;
        update();
    }
}

void IOStatusWidget::showEvent(QShowEvent *event)
{
    refresh();
    QWidget::showEvent(event);
}

void IOStatusWidget::mousePressEvent(QMouseEvent *event)
{
    if (m_source.logout)
        m_source.logout();
    refresh();
    update();
    QWidget::mousePressEvent(event);
}

void IOStatusWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), kBackground);
    p.setPen(QPen(kDim, 1));
    p.drawLine(0, 0, width(), 0);

    const bool tall = height() >= 100;
    const int rightWidth = tall ? 560 : 330;
    const int margin = tall ? 16 : 6;

    // Left: the inputs above the outputs, one column per signal number.
    const QList<Lamp> rows[2] = {inputs(), outputs()};
    const int columns = std::max(rows[0].size(), rows[1].size());
    const int areaWidth = std::max(width() - rightWidth - margin, 1);
    const int cellWidth = areaWidth / std::max(columns, 1);
    const int rowHeight = (height() - 2) / 2;
    const int lamp = tall ? 34 : 14;
    const QFont markerFont = C_Type_COM::font(tall ? 18 : 11);
    const QFont nameFont = C_Type_COM::font(tall ? 24 : 13);
    for (int r = 0; r < 2; ++r) {
        const int top = 1 + r * rowHeight;
        for (int c = 0; c < rows[r].size(); ++c) {
            const Lamp &signal = rows[r][c];
            const int left = margin + c * cellWidth;
            QRect cell(left, top, cellWidth - 4, rowHeight);
            p.setFont(markerFont);
            const int markerWidth = p.fontMetrics().horizontalAdvance(signal.marker);
            p.setPen(kDim);
            p.drawText(QRect(cell.left(), cell.top(), markerWidth, cell.height()), Qt::AlignVCenter, signal.marker);
            // A lost link shows every lamp hollow: the words are no longer the machine's.
            const QRect circle(cell.left() + markerWidth, cell.center().y() - lamp / 2, lamp, lamp);
            if (m_io.lost) {
                p.setPen(QPen(kDim, 2));
                p.setBrush(Qt::NoBrush);
            } else {
                p.setPen(Qt::NoPen);
                p.setBrush(signal.on ? (r == 0 ? kInputOn : kOutputOn) : kOff);
            }
            p.drawEllipse(circle);
            p.setFont(nameFont);
            p.setPen(kText);
            const QRect nameRect(circle.right() + (tall ? 10 : 4), cell.top(),
                                 std::max(cell.right() - circle.right() - (tall ? 10 : 4), 1), cell.height());
            p.drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft,
                       p.fontMetrics().elidedText(signal.name, Qt::ElideRight, nameRect.width()));
        }
    }

    // Right: login state and parameter group, then time and cycle; the lost link in red.
    const QRect info(width() - rightWidth, 0, rightWidth - margin, height());
    p.setPen(QPen(kDim, 1));
    p.drawLine(info.left() - margin / 2, 4, info.left() - margin / 2, height() - 4);
    QStringList lines;
    if (tall)
        lines << loginText() << groupText();
    else
        lines << loginText() + QStringLiteral("   ") + groupText();
    lines << cycleText(QDateTime::currentDateTime());
    if (tall && m_io.lost)
        lines << LanStr(kRowLinkLost);
    p.setFont(C_Type_COM::font(tall ? 26 : 15));
    const int lineHeight = info.height() / lines.size();
    for (int i = 0; i < lines.size(); ++i) {
        const bool lostLine = tall && m_io.lost && i == lines.size() - 1;
        p.setPen(lostLine ? kAlarm : kText);
        const QRect line(info.left() + margin, i * lineHeight, info.width() - margin, lineHeight);
        p.drawText(line, Qt::AlignVCenter | Qt::AlignLeft,
                   p.fontMetrics().elidedText(lines[i], Qt::ElideRight, line.width()));
    }
}
