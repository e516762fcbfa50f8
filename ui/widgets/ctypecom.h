// Style sheets of the station's buttons, text fields, bars and sliders, with named colour presets.
#pragma once

#include <QFont>
#include <QString>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QWidget;

class C_Type_COM
{
public:
    enum C_Color { Red, Blue, Green, Dark, Gold };

    // Buttons: text and background colour when normal, under the finger and pressed.
    static void setBtnQss(QPushButton *button, const QString &normalText, const QString &normalBackground,
                          const QString &hoverText, const QString &hoverBackground, const QString &pressedText,
                          const QString &pressedBackground);
    static void setBtnQss(QPushButton *button, C_Color color);
    static QString btnQss(const QString &normalText, const QString &normalBackground, const QString &hoverText,
                          const QString &hoverBackground, const QString &pressedText,
                          const QString &pressedBackground);
    static QString btnQss(C_Color color);

    // Text fields: the frame colour, and the frame colour while the field has the focus.
    static void setTxtQss(QLineEdit *edit, const QString &normalBorder, const QString &focusBorder);
    static void setTxtQss(QLineEdit *edit, C_Color color);
    static QString txtQss(const QString &normalBorder, const QString &focusBorder);

    // Progress bars: the empty part and the filled part.
    static void setBarQss(QProgressBar *bar, const QString &normalColor, const QString &chunkColor);
    static void setBarQss(QProgressBar *bar, C_Color color);

    // Sliders: the part left of the handle, the part right of it, the handle's rim and core.
    static void setSliderQss(QSlider *slider, const QString &subColor, const QString &addColor,
                             const QString &handleRim, const QString &handleCore);
    static void setSliderQss(QSlider *slider, C_Color color);

    // The station's face ("wqy-microhei", installed as WenQuanYi Micro Hei) at a pixel size.
    static QFont font(int pixelSize);
};
