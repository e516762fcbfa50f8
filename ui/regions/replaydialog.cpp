#include "ui/regions/replaydialog.h"

#include "core/globals.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Row {
    kRunning = 1541, kFigures = 1542, kWouldFail = 1543, kWouldPass = 1544, kFailingRegions = 1545,
    kPrevious = 1546, kNext = 1547, kStop = 1548, kClose = 1549, kNoPictures = 1550, kUnreadable = 1553,
    kStopped = 1554, kPictureN = 1555, kNoFlips = 1556,
};

const QString kStyle = QStringLiteral(
    "ReplayDialog { background-color: #1a222c; border: 2px solid #4a6a8a; }"
    "QLabel { color: #e8eef4; font-family: 'WenQuanYi Micro Hei'; font-size: 22px; }"
    "QLabel#title { font-size: 26px; font-weight: bold; }"
    "QPushButton { color: #e8eef4; background-color: #24405c; border: 1px solid #4a6a8a; border-radius: 6px;"
    "  font-family: 'WenQuanYi Micro Hei'; font-size: 22px; padding: 4px 16px; }"
    "QPushButton:pressed { background-color: #2d8cd6; }"
    "QPushButton:disabled { color: #6a7a8a; background-color: #1e2a36; }"
    "QProgressBar { color: #e8eef4; background-color: #24303c; border: 1px solid #4a6a8a; border-radius: 6px;"
    "  font-size: 20px; text-align: center; }"
    "QProgressBar::chunk { background-color: #2d8cd6; border-radius: 6px; }");

QString regionNumbers(const QList<int> &regions)
{
    QStringList numbers;
    for (int i : regions)
        numbers << QString::number(i + 1);
    return numbers.isEmpty() ? QStringLiteral("-") : numbers.join(QStringLiteral(", "));
}

}  // namespace

// One flipped picture, scaled to fit, with the regions concerned outlined (red where the picture
// would now fail, green where it would now pass) and the new NG rectangles in red.
class ReplayPictureView : public QWidget
{
public:
    using QWidget::QWidget;

    void show(const Replay::Flip *flip)
    {
        m_flip = flip;
        m_image = flip ? QImage(flip->path) : QImage();
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(0x10, 0x16, 0x1c));
        if (!m_flip || m_image.isNull())
            return;
        const QSizeF fitted = QSizeF(m_image.size()).scaled(size(), Qt::KeepAspectRatio);
        const QRectF target((width() - fitted.width()) / 2, (height() - fitted.height()) / 2, fitted.width(),
                            fitted.height());
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, m_image);
        QTransform toView;
        toView.translate(target.x(), target.y());
        toView.scale(target.width() / m_image.width(), target.height() / m_image.height());
        p.setTransform(toView);
        const QColor outline = m_flip->storedOk ? QColor(230, 40, 40) : QColor(40, 210, 80);
        QPen regionPen(outline, 3);
        regionPen.setCosmetic(true);
        p.setPen(regionPen);
        p.setBrush(Qt::NoBrush);
        for (const QPainterPath &path : m_flip->outlines)
            p.drawPath(path);
        QPen rectPen(QColor(255, 60, 60), 2);
        rectPen.setCosmetic(true);
        p.setPen(rectPen);
        for (const QRect &r : m_flip->ngRects)
            p.drawRect(r);
    }

private:
    const Replay::Flip *m_flip = nullptr;
    QImage m_image;
};

ReplayDialog::ReplayDialog(Replay::Settings settings, QList<Replay::StoredPicture> pictures, const QString &title,
                           QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ReplayDialog"));
    setStyleSheet(kStyle);
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(12);
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("title"));
    layout->addWidget(m_title);
    m_progress = new QProgressBar(this);
    m_progress->setMinimumHeight(48);
    m_progress->setRange(0, std::max<int>(1, int(pictures.size())));
    m_progress->setValue(0);
    layout->addWidget(m_progress);
    m_summary = new QLabel(this);
    m_summary->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    layout->addWidget(m_summary);
    m_view = new ReplayPictureView(this);
    m_view->setMinimumSize(640, 480);
    layout->addWidget(m_view, 1);
    m_caption = new QLabel(this);
    layout->addWidget(m_caption);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    auto makeButton = [this, buttons](int row) {
        auto *b = new QPushButton(LanStr(row).trimmed(), this);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumSize(200, 72);
        buttons->addWidget(b);
        return b;
    };
    m_previous = makeButton(kPrevious);
    m_next = makeButton(kNext);
    buttons->addStretch(1);
    m_stop = makeButton(kStop);
    m_close = makeButton(kClose);
    layout->addLayout(buttons);
    connect(m_previous, &QPushButton::clicked, this, [this] { showFlip(m_shown - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { showFlip(m_shown + 1); });
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_job)
            m_job->cancel();
    });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    m_previous->setEnabled(false);
    m_next->setEnabled(false);

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &ReplayDialog::poll);
    if (pictures.isEmpty()) {
        m_progress->hide();
        m_stop->hide();
        m_summary->setText(LanStr(kNoPictures));
        m_result.camera = settings.camera;
        m_result.detection = settings.detection;
        m_done = true;
        return;
    }
    m_summary->setText(LanStr(kRunning).arg(pictures.size()));
    m_job = std::make_unique<Replay::Job>(std::move(settings), std::move(pictures));
    m_timer->start();
}

ReplayDialog::~ReplayDialog() = default;

void ReplayDialog::done(int r)
{
    if (m_job && !m_done) {
        m_job->cancel();
        while (!m_job->finished())
            QThread::msleep(10);
        finish();
    }
    QDialog::done(r);
}

void ReplayDialog::poll()
{
    if (!m_job)
        return;
    m_progress->setValue(m_job->done());
    if (m_job->finished())
        finish();
}

void ReplayDialog::finish()
{
    if (m_done)
        return;
    m_timer->stop();
    m_result = m_job->result();
    m_done = true;
    m_progress->setValue(m_result.cancelled ? m_result.judged + m_result.unreadable : m_progress->maximum());
    m_stop->hide();
    const Replay::Result &r = m_result;
    QStringList lines;
    lines << LanStr(kFigures).arg(r.goodNowFailing).arg(r.storedGood).arg(r.failedNowPassing).arg(r.storedFailed);
    QStringList failing;
    for (int i = 0; i < kMaxRoi; ++i)
        if (r.goodFailsByRegion[size_t(i)] > 0)
            failing << QStringLiteral("%1 (%2)").arg(i + 1).arg(r.goodFailsByRegion[size_t(i)]);
    if (!failing.isEmpty())
        lines << LanStr(kFailingRegions).arg(failing.join(QStringLiteral(", ")));
    if (r.unreadable > 0)
        lines << LanStr(kUnreadable).arg(r.unreadable);
    if (r.cancelled)
        lines << LanStr(kStopped).arg(r.judged + r.unreadable).arg(m_progress->maximum());
    if (r.flips.isEmpty())
        lines << LanStr(kNoFlips);
    m_summary->setText(lines.join(QLatin1Char('\n')));
    layout()->activate();  // the figures take more lines than the running note
    m_previous->setEnabled(r.flips.size() > 1);
    m_next->setEnabled(r.flips.size() > 1);
    showFlip(0);
    emit runEnded();
}

void ReplayDialog::showFlip(int k)
{
    const int n = int(m_result.flips.size());
    if (n == 0) {
        m_view->show(nullptr);
        m_caption->clear();
        return;
    }
    m_shown = (k % n + n) % n;
    const Replay::Flip &flip = m_result.flips[m_shown];
    m_view->show(&flip);
    const QString what = LanStr(flip.storedOk ? kWouldFail : kWouldPass).arg(regionNumbers(flip.regions));
    m_caption->setText(LanStr(kPictureN).arg(m_shown + 1).arg(n) + QStringLiteral("   ") + what
                       + QStringLiteral("   ") + QFileInfo(flip.path).completeBaseName());
}
