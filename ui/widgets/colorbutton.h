// A push button with a text or a picture, styled by a colour preset; optionally auto-repeating.
#pragma once

#include "ui/widgets/ctypecom.h"

#include <QPixmap>
#include <QPushButton>

class ColorButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ColorButton(const QString &text = QString(), QWidget *parent = nullptr,
                         C_Type_COM::C_Color color = C_Type_COM::Blue);

    // Held down, the button repeats: first after 300 ms, then every 50 ms (the step buttons).
    void SetRepeat();

    // A picture instead of the text; the second one is shown while the button is held.
    void setPicture(const QPixmap &normal, const QPixmap &pressed = QPixmap());

private:
    QPixmap m_normal, m_pressed;
};
