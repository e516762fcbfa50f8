#include "ui/widgets/slider.h"

#include "ui/widgets/colorbutton.h"
#include "ui/widgets/ctypecom.h"
#include "ui/widgets/editbox.h"

#include <QHBoxLayout>
#include <QLabel>

C_Slider::C_Slider(QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setMinimumSize(240, 60);
    C_Type_COM::setSliderQss(this, C_Type_COM::Blue);
}

Slider::Slider(int min, int max, QWidget *parent, const QString &label)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_label = new QLabel(label);
    m_label->setFont(C_Type_COM::font(24));
    m_label->setStyleSheet(QStringLiteral("color:#E8EEF4;"));
    m_label->setMinimumWidth(160);
    m_label->setVisible(!label.isEmpty());
    m_sub = new ColorButton(QStringLiteral("-"));
    m_add = new ColorButton(QStringLiteral("+"));
    for (ColorButton *button : {m_sub, m_add}) {
        button->setFixedSize(70, 60);
        button->setFont(C_Type_COM::font(32));
        button->SetRepeat();
    }
    m_sub->setObjectName(QStringLiteral("Sub"));
    m_add->setObjectName(QStringLiteral("Add"));
    m_slider = new C_Slider;
    m_slider->setRange(min, max);
    m_field = new EditParam;
    layout->addWidget(m_label);
    layout->addWidget(m_sub);
    layout->addWidget(m_slider, 1);
    layout->addWidget(m_add);
    layout->addWidget(m_field);
    setMinimumHeight(64);
    m_field->setTypedValue(m_slider->value());

    connect(m_sub, &QPushButton::clicked, this, &Slider::Sub);
    connect(m_add, &QPushButton::clicked, this, &Slider::Add);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        m_field->setTypedValue(value);
        emit valueChanged(value);
    });
    // A typed value is clamped by the slider; the field then shows what the slider took.
    connect(m_field, &EditParam::typingFinished, this, [this] {
        setValue(m_field->value());
        m_field->setTypedValue(m_slider->value());
    });
}

int Slider::value() const { return m_slider->value(); }
void Slider::setValue(int value) { m_slider->setValue(value); }
void Slider::setRange(int min, int max) { m_slider->setRange(min, max); }
void Slider::Add() { m_slider->setValue(m_slider->value() + 1); }
void Slider::Sub() { m_slider->setValue(m_slider->value() - 1); }

void Slider::SetText(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok)
        setValue(value);
    m_field->setTypedValue(m_slider->value());
}
