#include "io/controlport.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "io/iothread.h"
#include "params/wizardpara.h"

#include <QMutexLocker>
#include <QSerialPort>
#include <QtDebug>


namespace {

constexpr int kSafetyDoor = 1;  // input 2, 0-based
constexpr int kAlarm = 2;       // output 3
constexpr int kBackup = 3;      // output 4

void setBit(uint32_t &word, int bit, bool on)
{
    if (on)
        word |= 1u << bit;
    else
        word &= ~(1u << bit);
}

bool bitOf(uint32_t word, int bit)
{
    return (word >> bit) & 1u;
}

}  // namespace

ControlPort::ControlPort(Link link, uint32_t startOutputs)
{
    if (link == Link::Start)
        m_ioThread = std::make_unique<IOThread>();
    m_inputWord = 0;
    // The serial board is the only IO path built; the on-board GPIO chip is never selected.
    const bool opened = link == Link::Start && ComInit();
    IOResetAllOut();
    for (int k = 0; k < kOutputs; ++k)
        if ((startOutputs >> k) & 1u)
            IOSetOut(k, 1);
    // The IO thread sends nothing before this word is published: the board's first command
    // already holds the interlocks.
    IOFlashOut();
    if (!m_ioThread)
        return;
    m_ioThread->startLink();
    // Reported once the thread runs, so that it keeps trying the port while a warning box is up.
    if (!opened) {
        QString text = LanStr(40);
        if (text.isEmpty())
            text = QStringLiteral("IO initialization failed!");
        qWarning().noquote() << "IO board:" << text;
        Operator::Warn(text);
    }
}

ControlPort::~ControlPort()
{
    if (m_ioThread) {
        m_ioThread->stop();
        m_ioThread.reset();
        delete gpCom;
        gpCom = nullptr;
    }
}

bool ControlPort::inputSenseLow(int input) const
{
    // Only inputs 1-8 have a sense word; further inputs are active high.
    return gpWPara && input >= 0 && input < 8 && gpWPara->input_level[input] != 0;
}

bool ControlPort::IOInTrigger(int input)
{
    if (input < 0 || input >= kInputs) {
        qWarning() << "ControlPort: no input" << input;
        return false;
    }
    {
        QMutexLocker lock(SharedMutex(pMutexIO, "pMutexIO"));
        m_inputWord = gDataIn;
    }
    // Input 4 may stand in for input 1, 2 or 3.
    const int substitute = gpWPara ? gpWPara->enable_output_thimble_pulse : 0;
    if (substitute >= 1 && substitute <= 3)
        setBit(m_inputWord, substitute - 1, bitOf(m_inputWord, 3));

    const bool now = bitOf(m_inputWord, input);
    const bool before = m_previousInput[input] != 0;
    bool edge = false;
    if (!before && now)
        edge = !inputSenseLow(input);
    else if (before && !now)
        edge = inputSenseLow(input);

    // The door opens when input 2 leaves its closed level. Its previous state moves only with the
    // call for input 2, so the call for input 1 of the same tick sees the opening as well.
    const int mode = gpWPara ? gpWPara->work_mode : 0;
    if (mode != 1 && mode != 2) {
        const bool doorBefore = m_previousInput[kSafetyDoor] != 0;
        const bool doorNow = bitOf(m_inputWord, kSafetyDoor);
        const bool opening = inputSenseLow(kSafetyDoor) ? (!doorBefore && doorNow) : (doorBefore && !doorNow);
        if (opening) {
            // Opening the door silences the alarm. The alarm output may be inverted, so the
            // logical state is tested, not the raw bit.
            const bool alarmOn = bitOf(m_outputWord, kAlarm) != (gpWPara && gpWPara->output_level[kAlarm] != 0);
            if (alarmOn)
                IOSetOut(kAlarm, 0);
            IOFlashOut();
            gisSafeDoorOpen = true;
        }
    }

    m_previousInput[input] = now;
    return edge;
}

bool ControlPort::IOState(int which, int index)
{
    if (index < 0 || index >= 32)
        return false;
    if (which == 1)
        return bitOf(m_outputWord, index);
    return bitOf(m_inputWord, index) != inputSenseLow(index);
}

void ControlPort::IOSetOut(int output, int on)
{
    if (output < 0 || output >= kOutputs) {
        qWarning() << "ControlPort: no output" << output;
        return;
    }
    setLevel(m_outputWord, output, on != 0);
}

void ControlPort::setLevel(uint32_t &word, int output, bool on) const
{
    bool level = on;
    if (gpWPara && gpWPara->output_level[output] != 0)
        level = !level;
    if (gpWPara && gpWPara->enable_mold_backup == output + 1)
        setBit(word, kBackup, level);
    setBit(word, output, level);
}

void ControlPort::IOFlashOut()
{
    const uint32_t word = publishedWord();
    bool changed = false;
    {
        QMutexLocker lock(SharedMutex(pMutexIO, "pMutexIO"));
        changed = gDataOut != word;
        gDataOut = word;
    }
    if (changed && m_ioThread && m_ioThread->isRunning())
        m_ioThread->wakeForOutputs();
}

uint32_t ControlPort::publishedWord() const
{
    uint32_t word = m_outputWord;
    for (int k = 0; k < kOutputs; ++k)
        if ((m_held >> k) & 1u)
            setLevel(word, k, true);
    return word;
}

void ControlPort::releaseHold(int output)
{
    if (output < 0 || output >= kOutputs || !isHeld(output))
        return;
    m_held &= ~(1u << output);
    qInfo("IO board: output %d follows the cycle now", output + 1);
}

bool ControlPort::isHeld(int output) const
{
    return output >= 0 && output < kOutputs && ((m_held >> output) & 1u);
}

void ControlPort::IOResetAllOut()
{
    for (int k = 0; k < kOutputs; ++k)
        IOSetOut(k, 0);
}

void ControlPort::IOSetAllOut()
{
    for (int k = 0; k < kOutputs; ++k)
        IOSetOut(k, 1);
}
