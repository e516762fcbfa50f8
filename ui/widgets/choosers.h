// The station's check box (a picture indicator sized for a finger) and combo box (tall items).
#pragma once

#include <QCheckBox>
#include <QComboBox>

class CheckBox : public QCheckBox
{
    Q_OBJECT
public:
    // `indicator`: the side of the tick box in pixels.
    explicit CheckBox(const QString &text = QString(), QWidget *parent = nullptr, int indicator = 40);

    int value() const { return isChecked() ? 1 : 0; }
    void setValue(int value) { setChecked(value != 0); }
};

class ComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ComboBox(QWidget *parent = nullptr);

    // Width of the drop-down list and height of its items.
    void setItemWidth(int width);
    void setItemHeight(int height);

private:
    void applySheet();
    int m_itemHeight = 60;
};
