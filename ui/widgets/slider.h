// A value slider with "-" and "+" buttons and a number field kept in step with it.
#pragma once

#include <QSlider>
#include <QWidget>

class ColorButton;
class EditParam;
class QLabel;

// The slider itself: horizontal, with a handle large enough for a finger.
class C_Slider : public QSlider
{
    Q_OBJECT
public:
    explicit C_Slider(QWidget *parent = nullptr);
};

class Slider : public QWidget
{
    Q_OBJECT
public:
    Slider(int min, int max, QWidget *parent = nullptr, const QString &label = QString());

    int value() const;
    void setValue(int value);
    void setRange(int min, int max);
    C_Slider *slider() const { return m_slider; }
    EditParam *field() const { return m_field; }

public slots:
    void Add();
    void Sub();
    // A typed number; clamped into the range, text that is no number leaves the value.
    void SetText(const QString &text);

signals:
    void valueChanged(int value);

private:
    QLabel *m_label;
    ColorButton *m_sub, *m_add;
    C_Slider *m_slider;
    EditParam *m_field;
};
