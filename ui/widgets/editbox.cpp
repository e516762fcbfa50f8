#include "ui/widgets/editbox.h"

#include "ui/widgets/colorbutton.h"
#include "ui/widgets/ctypecom.h"
#include "ui/widgets/valuerange.h"

#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRowHeight = 64;

QLabel *makeLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFont(C_Type_COM::font(24));
    label->setStyleSheet(QStringLiteral("color:#E8EEF4;"));
    label->setVisible(!text.isEmpty());
    return label;
}

}  // namespace

EditParam::EditParam(QWidget *parent)
    : QLineEdit(parent)
{
    // The text follows the value; only the number keypad changes it.
    setReadOnly(true);
    setProperty("mouldKeypad", QStringLiteral("number"));
    setAlignment(Qt::AlignCenter);
    setFont(C_Type_COM::font(26));
    setFixedSize(130, kRowHeight - 4);
    C_Type_COM::setTxtQss(this, C_Type_COM::Blue);
    setTypedValue(0);
}

void EditParam::setDisplay(int type, int divisor)
{
    m_type = type;
    m_divisor = divisor > 0 ? divisor : 1;
    setTypedValue(m_value);
}

void EditParam::setTypedValue(int value)
{
    m_value = value;
    if (m_type == 2 && m_divisor > 1) {
        const int decimals = static_cast<int>(std::ceil(std::log10(static_cast<double>(m_divisor))));
        setText(QString::number(static_cast<double>(value) / m_divisor, 'f', decimals));
    } else {
        setText(QString::number(value));
    }
}

void EditParam::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    emit typingFinished();
}

EditBox::EditBox(int min, int max, QWidget *parent, const QString &label, const QString &unit, int type,
                 int divisor)
    : QWidget(parent), m_min(min), m_max(max)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_label = makeLabel(label);
    m_label->setMinimumWidth(160);
    layout->addWidget(m_label);
    m_subFive = new ColorButton(QStringLiteral("- %1").arg(5));
    m_subOne = new ColorButton(QStringLiteral("- %1").arg(1));
    m_addOne = new ColorButton(QStringLiteral("+ %1").arg(1));
    m_addFive = new ColorButton(QStringLiteral("+ %1").arg(5));
    const std::pair<ColorButton *, const char *> names[] = {
        {m_subFive, "SubFive"}, {m_subOne, "SubOne"}, {m_addOne, "AddOne"}, {m_addFive, "AddFive"}};
    for (const auto &[button, name] : names) {
        button->setObjectName(QLatin1String(name));
        button->setFixedSize(76, kRowHeight - 4);
        button->SetRepeat();
    }
    m_field = new EditParam;
    m_field->setObjectName(QStringLiteral("EditParam"));
    m_field->setDisplay(type, divisor);
    layout->addWidget(m_subFive);
    layout->addWidget(m_subOne);
    layout->addWidget(m_field);
    layout->addWidget(m_addOne);
    layout->addWidget(m_addFive);
    m_unit = makeLabel(unit);
    layout->addWidget(m_unit);
    layout->addStretch();
    setMinimumHeight(kRowHeight);

    connect(m_subFive, &QPushButton::clicked, this, [this] { step(-5); });
    connect(m_subOne, &QPushButton::clicked, this, [this] { step(-1); });
    connect(m_addOne, &QPushButton::clicked, this, [this] { step(1); });
    connect(m_addFive, &QPushButton::clicked, this, [this] { step(5); });
    connect(m_field, &EditParam::typingFinished, this, &EditBox::CheckRange);
    m_field->setTypedValue(ClampToRange(0, m_min, m_max, false));
}

int EditBox::value() const { return m_field->value(); }

void EditBox::setRange(int min, int max)
{
    m_min = min;
    m_max = max;
    CheckRange();
}

void EditBox::setUse0(bool use) { m_use0 = use; }

void EditBox::setButtonNum(int count)
{
    m_subFive->setVisible(count != 3);
    m_addFive->setVisible(count != 3);
}

void EditBox::setLabel(const QString &label)
{
    m_label->setText(label);
    m_label->setVisible(!label.isEmpty());
}

void EditBox::setUnit(const QString &unit)
{
    m_unit->setText(unit);
    m_unit->setVisible(!unit.isEmpty());
}

void EditBox::setValue(int value)
{
    m_field->setTypedValue(value);
    CheckRange();
}

void EditBox::CheckRange()
{
    m_field->setTypedValue(ClampToRange(m_field->value(), m_min, m_max, m_use0));
    emit valueChanged(m_field->value());
}

void EditBox::step(int delta)
{
    // Stepping from a value near the int limits must not wrap around.
    const long long next = static_cast<long long>(m_field->value()) + delta;
    m_field->setTypedValue(static_cast<int>(std::clamp<long long>(next, m_min, m_max)));
    CheckRange();
}

EditTempBox::EditTempBox(int rangeMin, int rangeMax, QWidget *parent, const QString &minLabel,
                         const QString &maxLabel)
    : QWidget(parent), m_rangeMin(rangeMin), m_rangeMax(rangeMax)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_minField = new EditTempParam;
    m_maxField = new EditTempParam;
    m_minField->setObjectName(QStringLiteral("EditTempParamMin"));
    m_maxField->setObjectName(QStringLiteral("EditTempParamMax"));
    layout->addWidget(makeLabel(minLabel));
    layout->addWidget(m_minField);
    layout->addWidget(makeLabel(maxLabel));
    layout->addWidget(m_maxField);
    layout->addStretch();
    setMinimumHeight(kRowHeight);
    m_minField->setTypedValue(rangeMin);
    m_maxField->setTypedValue(rangeMax);
    for (EditTempParam *field : {m_minField, m_maxField}) {
        connect(field, &EditParam::typingFinished, this, [this, field] {
            m_lastTyped = field;
            CheckRange();
        });
    }
}

void EditTempBox::setValueRange(int min, int max)
{
    m_rangeMin = min;
    m_rangeMax = max;
    CheckRange();
}

void EditTempBox::valueRange(int &min, int &max) const
{
    min = m_rangeMin;
    max = m_rangeMax;
}

void EditTempBox::setMinValue(int value)
{
    m_minField->setTypedValue(value);
    m_lastTyped = m_minField;
    CheckRange();
}

void EditTempBox::setMaxValue(int value)
{
    m_maxField->setTypedValue(value);
    m_lastTyped = m_maxField;
    CheckRange();
}

int EditTempBox::getMinValue() const { return m_minField->value(); }
int EditTempBox::getMaxValue() const { return m_maxField->value(); }

int EditTempBox::checkFocus(QLineEdit *edit) const
{
    if (edit == m_minField)
        return 0;
    if (edit == m_maxField)
        return 1;
    return -1;
}

void EditTempBox::CheckRange()
{
    for (EditTempParam *field : {m_minField, m_maxField})
        field->setTypedValue(ClampToRange(field->value(), m_rangeMin, m_rangeMax, false));
    judgeValue();
    emit valueChanged(getMinValue(), getMaxValue());
}

void EditTempBox::judgeValue()
{
    if (getMinValue() <= getMaxValue())
        return;
    if (m_lastTyped == m_maxField)
        m_maxField->setTypedValue(getMinValue());
    else
        m_minField->setTypedValue(getMaxValue());
}
