#include "ui/widgets/choosers.h"

#include "ui/widgets/ctypecom.h"

#include <QListView>

CheckBox::CheckBox(const QString &text, QWidget *parent, int indicator)
    : QCheckBox(text, parent)
{
    setFont(C_Type_COM::font(24));
    setMinimumHeight(std::max(60, indicator + 8));
    // The ticked picture is images/check.png of the station directory.
    setStyleSheet(QStringLiteral("QCheckBox{color:#E8EEF4;spacing:12px;}"
                                 "QCheckBox::indicator {width: %1px; height: %2px;}"
                                 "QCheckBox::indicator:checked {border-image: url(images/check.png);}"
                                 "QCheckBox::indicator:unchecked {width: %3px; height: %3px;"
                                 "border:3px solid #DCE4EC;border-radius:8px;background:#FFFFFF;}")
                      .arg(indicator)
                      .arg(indicator)
                      .arg(indicator - 6));
}

ComboBox::ComboBox(QWidget *parent)
    : QComboBox(parent)
{
    // Item heights from a style sheet apply only to a list view of our own.
    setView(new QListView(this));
    setFont(C_Type_COM::font(24));
    view()->setFont(font());
    setMinimumHeight(60);
    applySheet();
}

void ComboBox::setItemWidth(int width) { view()->setMinimumWidth(width); }

void ComboBox::setItemHeight(int height)
{
    m_itemHeight = height;
    applySheet();
}

void ComboBox::applySheet()
{
    setStyleSheet(QStringLiteral("QComboBox QAbstractItemView::item{height:%1px;padding-left:12px;}"
                                 "QComboBox::tab-bar{border-width:0px;}"
                                 "QComboBox{padding:4px 12px;border:2px solid #DCE4EC;border-radius:5px;"
                                 "background:#FFFFFF;color:#191532;}"
                                 "QComboBox::drop-down{width:48px;}")
                      .arg(m_itemHeight));
}
