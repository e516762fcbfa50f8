// Number fields that keep their value inside a range: EditBox (label, step buttons, field, unit) and
// EditTempBox (a minimum/maximum pair), with their fields EditParam and EditTempParam.
#pragma once

#include <QLineEdit>
#include <QWidget>

class ColorButton;
class QLabel;

// The field of a number box. It holds an integer and shows it as an integer (display type 0) or
// divided by the divisor as a decimal (type 2). Typing goes through the number keypad; the owner
// checks the range when typing finishes (keypad closed or focus lost).
class EditParam : public QLineEdit
{
    Q_OBJECT
public:
    explicit EditParam(QWidget *parent = nullptr);

    int value() const { return m_value; }
    // Shows `value` as it was typed, without the range check.
    void setTypedValue(int value);
    void setDisplay(int type, int divisor);
    // The keypad closed on this field.
    void finishTyping() { emit typingFinished(); }

signals:
    void typingFinished();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    int m_value = 0;
    int m_type = 0;
    int m_divisor = 1;
};

class EditBox : public QWidget
{
    Q_OBJECT
public:
    EditBox(int min, int max, QWidget *parent = nullptr, const QString &label = QString(),
            const QString &unit = QString(), int type = 0, int divisor = 1);

    int value() const;
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void setRange(int min, int max);
    // 0 is kept below the minimum (0 switches the function off).
    void setUse0(bool use);
    // 4 step buttons, or 3 which hides the two five-step buttons.
    void setButtonNum(int count);
    void setLabel(const QString &label);
    void setUnit(const QString &unit);
    EditParam *field() const { return m_field; }

public slots:
    void setValue(int value);
    // Clamps the value into the range, shows it and emits valueChanged.
    void CheckRange();

signals:
    void valueChanged(int value);

private:
    void step(int delta);

    int m_min, m_max;
    bool m_use0 = false;
    QLabel *m_label, *m_unit;
    ColorButton *m_subFive, *m_subOne, *m_addOne, *m_addFive;
    EditParam *m_field;
};

// One field of an EditTempBox.
class EditTempParam : public EditParam
{
    Q_OBJECT
public:
    using EditParam::EditParam;
};

// A minimum and a maximum, both inside one range, the minimum never above the maximum.
class EditTempBox : public QWidget
{
    Q_OBJECT
public:
    EditTempBox(int rangeMin, int rangeMax, QWidget *parent = nullptr, const QString &minLabel = QString(),
                const QString &maxLabel = QString());

    void setValueRange(int min, int max);
    void valueRange(int &min, int &max) const;
    void setMinValue(int value);
    void setMaxValue(int value);
    int getMinValue() const;
    int getMaxValue() const;
    // Which field has the focus: 0 the minimum, 1 the maximum, -1 neither (or another line edit).
    int checkFocus(QLineEdit *edit) const;
    EditTempParam *minField() const { return m_minField; }
    EditTempParam *maxField() const { return m_maxField; }

public slots:
    // Clamps both values into the range, then orders them (judgeValue) and emits valueChanged.
    void CheckRange();
    // A minimum above the maximum is pulled to the maximum when the minimum was typed, otherwise the
    // maximum is pulled up to the minimum.
    void judgeValue();

signals:
    void valueChanged(int min, int max);

private:
    int m_rangeMin, m_rangeMax;
    EditTempParam *m_minField, *m_maxField;
    EditTempParam *m_lastTyped = nullptr;
};
