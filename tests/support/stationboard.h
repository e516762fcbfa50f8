// Test helper: one simulated IO board on a pseudo-terminal for the whole test program, so that no
// test ever opens a real serial port. Programs that use it link mould_ioboard_sim.
#pragma once

#include "tools/ioboard-sim/ioboardsim.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>
#include <string>

// The board, opened on first use; MOULD_SERIAL_DEVICE then points the station at it.
inline IoBoardSim &StationBoard()
{
    static IoBoardSim *sim = [] {
        auto *s = new IoBoardSim;
        std::string error;
        if (!s->open(&error))
            ADD_FAILURE() << "no pseudo-terminal for the IO board: " << error;
        qputenv("MOULD_SERIAL_DEVICE", QByteArray::fromStdString(s->slavePath()));
        return s;
    }();
    return *sim;
}
