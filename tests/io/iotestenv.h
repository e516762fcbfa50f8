// Shared set-up of the IO tests: the IO globals in a known state and a parameter record of their own.
#pragma once

#include "core/globals.h"
#include "params/wizardpara.h"

#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>

// Points gpWPara at a fresh record, clears the IO words and flags; restores gpWPara afterwards.
class IoGlobalsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!pMutexIO)
            pMutexIO = new QMutex;
        m_previousPara = gpWPara;
        gpWPara = &para;
        setInputWord(0);
        {
            QMutexLocker lock(pMutexIO);
            gDataOut = 0;
        }
        gisLostCom = false;
        gisSafeDoorOpen = false;
        for (auto &reading : gFTemp)
            reading = 0;
    }
    void TearDown() override { gpWPara = m_previousPara; }

    static void setInputWord(unsigned word)
    {
        QMutexLocker lock(pMutexIO);
        gDataIn = word;
    }
    static unsigned inputWord()
    {
        QMutexLocker lock(pMutexIO);
        return gDataIn;
    }
    static void setOutputWord(unsigned word)
    {
        QMutexLocker lock(pMutexIO);
        gDataOut = word;
    }
    static unsigned outputWord()
    {
        QMutexLocker lock(pMutexIO);
        return gDataOut;
    }

    WizardPara para;

private:
    WizardPara *m_previousPara = nullptr;
};
