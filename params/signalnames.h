// Name tables of the machine signals: the input and output functions of the custom mode.
#pragma once

#include <QString>

// Function names of the 16 inputs and 14 outputs, in the three languages of the text table.
extern const char *const gInName[16][3];
extern const char *const gOutName[14][3];

// The name in the current language; an empty text for an index outside the table.
QString InputFunctionName(int index);
QString OutputFunctionName(int index);
