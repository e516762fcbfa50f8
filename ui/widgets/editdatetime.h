// The date and time editor of the clock setting: year, month, day, hour, minute and second boxes.
#pragma once

#include <QDateTime>
#include <QWidget>

class EditBox;

class EditDateTime : public QWidget
{
    Q_OBJECT
public:
    explicit EditDateTime(QWidget *parent = nullptr);

    // Loads `when` (by default the current time) into the boxes.
    void ShowDateTime(const QDateTime &when = QDateTime::currentDateTime());
    // The date and time in the boxes; the day never runs past the end of its month.
    QDateTime m_getDateTime() const;
    // Sets the system clock to the chosen time and the hardware clock from it, through the system
    // gateway. False when either command failed.
    bool setSysDateTime();

    EditBox *box(int index) const { return m_boxes[index]; }  // 0 year ... 5 second

private:
    void limitDay();

    EditBox *m_boxes[6];
};
