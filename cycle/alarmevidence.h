// Alarm evidence: per alarm and failed camera, the template, the judged picture and their difference side by side.
#pragma once

#include "cycle/failimagestore.h"

#include <QDateTime>
#include <QImage>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// What one evidence picture shows. The images must own their pixels (they cross to the writer).
struct AlarmEvidence
{
    int camera = 0;     // 0-based
    int detection = 0;  // 0-based
    QDateTime time;     // when the alarm was raised
    QImage reference;   // the detection's reference template, the pose the judged picture was corrected to
    JudgedImage judged; // the judged picture with its regions, values and limits
};

// Three panels (template, judged picture, difference), each at most 960 pixels wide, under a title
// line; every region outlined in all three (red when failed, with its NG rectangles), and one value
// line per region below them ("3: 812 / 500", failed ones in red).
QImage RenderAlarmEvidence(const AlarmEvidence &evidence);

// "./alarmimage//camera%2//detect%3//evidence", beside the NG and OK folders of the judged images.
QString AlarmEvidenceDir(int camera, int detection);

// Renders and writes evidence pictures on a thread of its own, as JPEG files named by the alarm's
// time; each folder is kept within `limit` files like the judged images' folders.
class AlarmEvidenceWriter
{
public:
    AlarmEvidenceWriter();
    // Writes what is still queued, then ends the thread.
    ~AlarmEvidenceWriter();
    AlarmEvidenceWriter(const AlarmEvidenceWriter &) = delete;
    AlarmEvidenceWriter &operator=(const AlarmEvidenceWriter &) = delete;

    static constexpr int kMaxQueued = 8;  // one alarm of every camera; more are dropped
    // Queues the evidence; false when it was dropped because the queue is full.
    bool put(AlarmEvidence evidence);
    void waitIdle();
    std::function<int()> limit;  // files kept per folder (the NG image limit); set before put()

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<AlarmEvidence> m_queue;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;  // last: starts once the state above exists
};
