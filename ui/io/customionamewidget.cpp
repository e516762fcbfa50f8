#include "ui/io/customionamewidget.h"

#include "core/globals.h"
#include "params/signalnames.h"
#include "params/wizardpara.h"
#include "ui/widgets/choosers.h"

#include <QGridLayout>
#include <QLabel>

namespace {

constexpr int kRowTitle = 498;   // "IO name"
constexpr int kRowInput = 495;   // "Input %1"
constexpr int kRowOutput = 1502; // "Output %1"
constexpr int kInputNumbers[8] = {1, 3, 4, 5, 6, 7, 8, 9};
constexpr int kOutputNumbers[8] = {1, 2, 4, 5, 6, 7, 8, 9};
constexpr int kInputNames = 16;
constexpr int kOutputNames = 14;

}  // namespace

CustomIONameWidget::CustomIONameWidget(QWidget *parent)
    : IoDialogFrame(QStringLiteral("CustomIONameWidget"), kRowTitle, parent)
{
    // Inputs on the left, outputs on the right: label and name, each 60 pixels high.
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    for (int row = 0; row < 16; ++row) {
        m_labels[row] = new QLabel(TerminalLabel(row), this);
        m_labels[row]->setFixedSize(130, 60);
        m_labels[row]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_boxes[row] = new ComboBox(this);
        m_boxes[row]->setFixedSize(220, 60);
        m_boxes[row]->setItemWidth(220);
        const int column = row < 8 ? 0 : 2;
        grid->addWidget(m_labels[row], row % 8, column);
        grid->addWidget(m_boxes[row], row % 8, column + 1);
    }
    grid->setColumnMinimumWidth(2, 150);
    content()->addLayout(grid);
}

QString CustomIONameWidget::TerminalLabel(int row)
{
    if (row < 0 || row >= 16)
        return {};
    return row < 8 ? LanStr(kRowInput).arg(kInputNumbers[row]) : LanStr(kRowOutput).arg(kOutputNumbers[row - 8]);
}

void CustomIONameWidget::load()
{
    m_title->setText(LanStr(kRowTitle));
    for (int row = 0; row < 16; ++row) {
        m_labels[row]->setText(TerminalLabel(row));
        ComboBox *box = m_boxes[row];
        const bool input = row < 8;
        const int names = input ? kInputNames : kOutputNames;
        box->clear();
        for (int i = 0; i < names; ++i)
            box->addItem(input ? InputFunctionName(i) : OutputFunctionName(i));
        // A stored index outside the table shows (and is saved as) the first name.
        const int stored = gpWParaBak ? gpWParaBak->io_name_index[row] : 0;
        box->setCurrentIndex(stored >= 0 && stored < names ? stored : 0);
    }
}

bool CustomIONameWidget::store()
{
    if (!gpWParaBak)
        return false;
    for (int row = 0; row < 16; ++row)
        gpWParaBak->io_name_index[row] = std::max(m_boxes[row]->currentIndex(), 0);
    return true;
}

void CustomIONameWidget::accept()
{
    if (store())
        finish();
}
