#include "ui/users/userstyle.h"

namespace UserStyle {

QString Dialog(const QString &name)
{
    return QStringLiteral(
               "#%1 { background-color: #1f2a36; border: 3px solid #4a6a8a; }"
               "QLabel { color: #f4f6f8; font-family: 'WenQuanYi Micro Hei'; font-size: 24px; }"
               "QLineEdit { font-size: 26px; padding: 6px 12px; color: #101418; background: #f4f6f8;"
               "  border-radius: 6px; }"
               "QPushButton { min-height: 64px; min-width: 150px; font-size: 24px; color: white;"
               "  font-family: 'WenQuanYi Micro Hei'; background-color: #2d8cd6; border-radius: 8px;"
               "  padding: 0 18px; }"
               "QPushButton:pressed { background-color: #1d5c8e; }"
               "QPushButton:checked { background-color: #e0a020; color: #101418; }"
               "QListWidget { font-size: 26px; color: #f4f6f8; background: #26323f; border: 1px solid #4a6a8a; }"
               "QListWidget::item { min-height: 64px; }"
               "QListWidget::item:selected { background: #2d8cd6; }"
               "QCheckBox { color: #f4f6f8; font-size: 24px; min-height: 60px; spacing: 14px; }"
               "QCheckBox::indicator { width: 36px; height: 36px; border: 2px solid #4a6a8a; border-radius: 6px;"
               "  background: #f4f6f8; }"
               "QCheckBox::indicator:checked { background: #e0a020; border: 2px solid #f4f6f8; }")
        .arg(name);
}

}  // namespace UserStyle
