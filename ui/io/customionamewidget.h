// The custom IO names: the function name of each of the eight input and eight output terminals.
#pragma once

#include "ui/io/iodialogframe.h"

#include <array>

class ComboBox;
class QLabel;

class CustomIONameWidget : public IoDialogFrame
{
    Q_OBJECT
public:
    explicit CustomIONameWidget(QWidget *parent = nullptr);

    // Each combo shows the name the edit copy stores for its terminal.
    void init() { load(); }
    // Stores the sixteen choices into the edit copy (io_name_index); saved with the settings.
    void accept();

    // Rows 0-7 the input terminals, 8-15 the output terminals.
    ComboBox *nameBox(int row) const { return m_boxes[row]; }
    QLabel *terminalLabel(int row) const { return m_labels[row]; }

    // The terminal label of row `row`: inputs 1, 3-9 (2 is the safety door), outputs 1, 2, 4-9
    // (3 is the alarm).
    static QString TerminalLabel(int row);

protected:
    void load() override;
    bool store() override;

private:
    std::array<QLabel *, 16> m_labels{};
    std::array<ComboBox *, 16> m_boxes{};
};
