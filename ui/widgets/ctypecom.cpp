#include "ui/widgets/ctypecom.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

namespace {

struct ButtonColors
{
    const char *normalText, *normalBackground, *hoverText, *hoverBackground, *pressedText, *pressedBackground;
};

ButtonColors buttonColors(C_Type_COM::C_Color color)
{
    switch (color) {
    case C_Type_COM::Red:
        return {"#FFFFFF", "#E74C3C", "#FFF5E7", "#EC7064", "#F5A996", "#DC2D1A"};
    case C_Type_COM::Blue:
        return {"#FFFFFF", "#3498DB", "#E5FEFF", "#5DACE4", "#A0DAFB", "#2483C7"};
    case C_Type_COM::Green:
        return {"#FFFFFF", "#1ABC9C", "#E6F8F5", "#2EE1C1", "#A7EEE6", "#16A086"};
    case C_Type_COM::Dark:
        return {"#E6F8F5", "#323232", "#FFFFFF", "#34495E", "#A7EEE6", "#191532"};
    case C_Type_COM::Gold:
        break;
    }
    return {"#FFFFFF", "#C8934A", "#FFF5E7", "#D9A864", "#323232", "#A0732F"};
}

// Text fields, bars and sliders share one accent colour per preset.
const char *accent(C_Type_COM::C_Color color)
{
    switch (color) {
    case C_Type_COM::Red: return "#E74C3C";
    case C_Type_COM::Blue: return "#3498DB";
    case C_Type_COM::Green: return "#1ABC9C";
    case C_Type_COM::Dark: return "#34495E";
    case C_Type_COM::Gold: break;
    }
    return "#C8934A";
}

QString s(const char *text) { return QString::fromLatin1(text); }

}  // namespace

QString C_Type_COM::btnQss(const QString &normalText, const QString &normalBackground, const QString &hoverText,
                           const QString &hoverBackground, const QString &pressedText,
                           const QString &pressedBackground)
{
    return QStringLiteral("QPushButton{border-style:none;padding:3px;border-radius:5px;color:%1;background:%2;}")
               .arg(normalText, normalBackground)
           + QStringLiteral("QPushButton:hover{color:%1;background:%2;}").arg(hoverText, hoverBackground)
           + QStringLiteral("QPushButton:pressed{color:%1;background:%2;}").arg(pressedText, pressedBackground)
           + QStringLiteral("QPushButton:disabled{color:#9AA5B1;background:#44505C;}");
}

QString C_Type_COM::btnQss(C_Color color)
{
    const ButtonColors c = buttonColors(color);
    return btnQss(s(c.normalText), s(c.normalBackground), s(c.hoverText), s(c.hoverBackground), s(c.pressedText),
                  s(c.pressedBackground));
}

void C_Type_COM::setBtnQss(QPushButton *button, const QString &normalText, const QString &normalBackground,
                           const QString &hoverText, const QString &hoverBackground, const QString &pressedText,
                           const QString &pressedBackground)
{
    button->setStyleSheet(
        btnQss(normalText, normalBackground, hoverText, hoverBackground, pressedText, pressedBackground));
}

void C_Type_COM::setBtnQss(QPushButton *button, C_Color color) { button->setStyleSheet(btnQss(color)); }

QString C_Type_COM::txtQss(const QString &normalBorder, const QString &focusBorder)
{
    return QStringLiteral("QLineEdit{border-style:none;padding:3px;border-radius:5px;border:2px solid %1;"
                          "background:#FFFFFF;color:#191532;}"
                          "QLineEdit:focus{border:2px solid %2;}")
        .arg(normalBorder, focusBorder);
}

void C_Type_COM::setTxtQss(QLineEdit *edit, const QString &normalBorder, const QString &focusBorder)
{
    edit->setStyleSheet(txtQss(normalBorder, focusBorder));
}

void C_Type_COM::setTxtQss(QLineEdit *edit, C_Color color)
{
    setTxtQss(edit, QStringLiteral("#DCE4EC"), s(accent(color)));
}

void C_Type_COM::setBarQss(QProgressBar *bar, const QString &normalColor, const QString &chunkColor)
{
    bar->setStyleSheet(QStringLiteral("QProgressBar{font:bold;background:%1;border-radius:5px;text-align:center;"
                                      "border:1px solid %1;}"
                                      "QProgressBar::chunk{border-radius:5px;background-color:%2;}")
                           .arg(normalColor, chunkColor));
}

void C_Type_COM::setBarQss(QProgressBar *bar, C_Color color)
{
    setBarQss(bar, QStringLiteral("#DCE4EC"), s(accent(color)));
}

void C_Type_COM::setSliderQss(QSlider *slider, const QString &subColor, const QString &addColor,
                              const QString &handleRim, const QString &handleCore)
{
    // A handle large enough for a gloved finger; the groove stays thin.
    slider->setStyleSheet(
        QStringLiteral("QSlider{min-height:48px;}"
                       "QSlider::groove:horizontal,QSlider::add-page:horizontal{height:12px;border-radius:6px;"
                       "background:%2;}"
                       "QSlider::sub-page:horizontal{height:12px;border-radius:6px;background:%1;}"
                       "QSlider::handle:horizontal{width:40px;margin-top:-14px;margin-bottom:-14px;border-radius:20px;"
                       "background:qradialgradient(spread:pad,cx:0.5,cy:0.5,radius:0.5,fx:0.5,fy:0.5,"
                       "stop:0.6 %4,stop:0.8 %3);}")
            .arg(subColor, addColor, handleRim, handleCore));
}

void C_Type_COM::setSliderQss(QSlider *slider, C_Color color)
{
    setSliderQss(slider, s(accent(color)), QStringLiteral("#FFFBF0"), s(accent(color)), QStringLiteral("#191532"));
}

QFont C_Type_COM::font(int pixelSize)
{
    static const bool substituted = [] {
        QFont::insertSubstitution(QStringLiteral("wqy-microhei"), QStringLiteral("WenQuanYi Micro Hei"));
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QStringLiteral("wqy-microhei"));
    font.setPixelSize(pixelSize);
    return font;
}
