#include "ui/widgets/colorbutton.h"

ColorButton::ColorButton(const QString &text, QWidget *parent, C_Type_COM::C_Color color)
    : QPushButton(text, parent)
{
    // Keys never take the focus from the field they type into.
    setFocusPolicy(Qt::NoFocus);
    setFont(C_Type_COM::font(26));
    setMinimumHeight(60);
    C_Type_COM::setBtnQss(this, color);
}

void ColorButton::SetRepeat()
{
    setAutoRepeat(true);
    setAutoRepeatDelay(300);
    setAutoRepeatInterval(50);
}

void ColorButton::setPicture(const QPixmap &normal, const QPixmap &pressed)
{
    m_normal = normal;
    m_pressed = pressed.isNull() ? normal : pressed;
    setIcon(m_normal);
    setIconSize(m_normal.size());
    disconnect(this, &QPushButton::pressed, this, nullptr);
    disconnect(this, &QPushButton::released, this, nullptr);
    connect(this, &QPushButton::pressed, this, [this] { setIcon(m_pressed); });
    connect(this, &QPushButton::released, this, [this] { setIcon(m_normal); });
}
