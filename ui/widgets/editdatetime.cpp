#include "ui/widgets/editdatetime.h"

#include "core/globals.h"
#include "core/systemgateway.h"
#include "ui/widgets/editbox.h"

#include <QGridLayout>

namespace {

constexpr int kRowYear = 1251;  // then month, day, hour, minute, second

const char *const kFallback[6] = {"Year", "Month", "Day", "Hour", "Minute", "Second"};

}  // namespace

EditDateTime::EditDateTime(QWidget *parent)
    : QWidget(parent)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(10);
    const int ranges[6][2] = {{2000, 2099}, {1, 12}, {1, 31}, {0, 23}, {0, 59}, {0, 59}};
    for (int i = 0; i < 6; ++i) {
        const QString label = LanStr(kRowYear + i);
        m_boxes[i] = new EditBox(ranges[i][0], ranges[i][1], this,
                                 label.isEmpty() ? QString::fromLatin1(kFallback[i]) : label);
        m_boxes[i]->setButtonNum(3);
        // Date on the left, time on the right.
        grid->addWidget(m_boxes[i], i % 3, i / 3);
    }
    connect(m_boxes[0], &EditBox::valueChanged, this, &EditDateTime::limitDay);
    connect(m_boxes[1], &EditBox::valueChanged, this, &EditDateTime::limitDay);
    ShowDateTime();
}

void EditDateTime::ShowDateTime(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    const int values[6] = {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
    for (int i = 0; i < 6; ++i)
        m_boxes[i]->setValue(values[i]);
    limitDay();
    m_boxes[2]->setValue(values[2]);
}

void EditDateTime::limitDay()
{
    const int days = QDate(m_boxes[0]->value(), m_boxes[1]->value(), 1).daysInMonth();
    if (days > 0 && m_boxes[2]->maximum() != days)
        m_boxes[2]->setRange(1, days);
}

QDateTime EditDateTime::m_getDateTime() const
{
    const QDate first(m_boxes[0]->value(), m_boxes[1]->value(), 1);
    const int day = std::min(m_boxes[2]->value(), first.daysInMonth());
    return QDateTime(QDate(first.year(), first.month(), day),
                     QTime(m_boxes[3]->value(), m_boxes[4]->value(), m_boxes[5]->value()));
}

bool EditDateTime::setSysDateTime()
{
    // Argument vectors, never a shell line: the time text reaches "date" as one argument.
    const QString when = m_getDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (SystemGateway::run({QStringLiteral("date"), QStringLiteral("-s"), when}) != 0)
        return false;
    return SystemGateway::run({QStringLiteral("hwclock"), QStringLiteral("--systohc")}) == 0;
}
