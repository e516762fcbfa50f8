// The region editor's trial of its settings on stored cycles: progress, figures and the pictures that flip.
#pragma once

#include "vision/replay.h"

#include <QDialog>
#include <QImage>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class ReplayPictureView;

// Runs the replay on its own thread while a progress bar moves, then shows the figures and steps
// through the flipped pictures with their regions and NG rectangles drawn. Stop ends the run early
// (the figures then cover the pictures judged so far); closing stops it too.
class ReplayDialog : public QDialog
{
    Q_OBJECT
public:
    ReplayDialog(Replay::Settings settings, QList<Replay::StoredPicture> pictures, const QString &title,
                 QWidget *parent = nullptr);
    ~ReplayDialog() override;

    bool running() const { return m_job && !m_done; }
    // Valid once the run ended (finished or stopped).
    bool hasResult() const { return m_done; }
    const Replay::Result &result() const { return m_result; }
    int shownFlip() const { return m_shown; }
    QPushButton *previousButton() const { return m_previous; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *stopButton() const { return m_stop; }
    QPushButton *closeButton() const { return m_close; }
    QLabel *summary() const { return m_summary; }
    QProgressBar *progress() const { return m_progress; }

    // Shows flip k (wrapping).
    void showFlip(int k);

signals:
    void runEnded();

protected:
    void done(int r) override;

private:
    void poll();
    void finish();

    std::unique_ptr<Replay::Job> m_job;
    Replay::Result m_result;
    bool m_done = false;
    int m_shown = 0;
    QTimer *m_timer;
    QLabel *m_title, *m_summary, *m_caption;
    QProgressBar *m_progress;
    ReplayPictureView *m_view;
    QPushButton *m_previous, *m_next, *m_stop, *m_close;
};
