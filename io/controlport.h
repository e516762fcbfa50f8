// The station's view of the machine signals: input edges and levels, and the desired output word.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class IOThread;

// One instance, gpControlIO, created by the main window at start-up and kept for the process.
// Everything except the IO thread's own loop runs on the GUI thread; the input and output words
// cross to the IO thread only through gDataIn and gDataOut under pMutexIO.
class ControlPort
{
public:
    static constexpr int kInputs = 16;  // previous-state flags kept (inputs 1-9 used)
    static constexpr int kOutputs = 9;  // outputs 1-9

    // Start: open the board's port and run the IO thread. Detached: the same state and rules on
    // gDataIn/gDataOut without a port or thread, for tests and simulations that feed gDataIn.
    enum class Link { Start, Detached };

    // Creates the IO thread object, clears the input word, runs ComInit, clears all outputs but
    // `startOutputs` (logical, bit k = output k+1: an alarm that stood when the station ended),
    // holds the interlocks, publishes the word and starts the IO thread; then warns the operator
    // if the port did not open.
    explicit ControlPort(Link link = Link::Start, uint32_t startOutputs = 0);
    // Stops the IO thread; the station itself never destroys its control port.
    ~ControlPort();
    ControlPort(const ControlPort &) = delete;
    ControlPort &operator=(const ControlPort &) = delete;

    // True on the active edge of `input` (0-based) since the last call for that input, with level
    // sense and the input-4 substitution applied; also watches the safety door.
    bool IOInTrigger(int input);
    // which 1: output `index` set in the desired output word; which 0: input `index` active in
    // the input word of the last IOInTrigger call (level sense applied).
    bool IOState(int which, int index);
    // Sets or clears output `output` (0-based) in the desired word, with level sense and output-4
    // backup mirroring; sends nothing.
    void IOSetOut(int output, int on);
    // Publishes the desired word to gDataOut; the IO thread sends it when the board's echo differs.
    void IOFlashOut();
    void IOResetAllOut();
    void IOSetAllOut();

    // The start-up hold: a station that comes up has not judged what lies in the open mould, so
    // outputs 1 and 2 (clamp and ejector interlocks) are published on from the port's first frame,
    // whatever the desired word says underneath, until the cycle releases them one by one after
    // its verdicts. Nothing else publishes them off meanwhile.
    void releaseHold(int output);
    bool isHeld(int output) const;
    // The word IOFlashOut publishes: the desired word with the held outputs at their on level.
    uint32_t publishedWord() const;

    uint32_t outputWord() const { return m_outputWord; }
    uint32_t inputWord() const { return m_inputWord; }
    IOThread *ioThread() const { return m_ioThread.get(); }

private:
    bool inputSenseLow(int input) const;
    void setLevel(uint32_t &word, int output, bool on) const;

    uint8_t m_previousInput[kInputs] = {};
    uint32_t m_outputWord = 0;
    uint32_t m_held = 0x3;  // logical outputs held on, bit k = output k+1
    uint32_t m_inputWord = 0;
    std::unique_ptr<IOThread> m_ioThread;
};
