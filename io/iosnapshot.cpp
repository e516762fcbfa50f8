#include "io/iosnapshot.h"

#include "core/globals.h"
#include "params/wizardpara.h"

#include <QMutexLocker>

IoSnapshot IoSnapshot::Take()
{
    IoSnapshot s;
    {
        QMutexLocker lock(SharedMutex(pMutexIO, "pMutexIO"));
        s.in = gDataIn;
        s.out = gDataOut;
    }
    s.lost = gisLostCom.load();
    return s;
}

bool IoSnapshot::input(int k) const
{
    if (k < 0 || k >= 32)
        return false;
    const bool senseLow = gpWPara && k < 8 && gpWPara->input_level[k] != 0;
    return (((in >> k) & 1u) != 0) != senseLow;
}

bool IoSnapshot::output(int k) const
{
    if (k < 0 || k >= 32)
        return false;
    const bool inverted = gpWPara && k < 9 && gpWPara->output_level[k] != 0;
    return (((out >> k) & 1u) != 0) != inverted;
}
