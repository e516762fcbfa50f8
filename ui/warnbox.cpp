#include "ui/warnbox.h"

#include "core/globals.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QtDebug>

WarnBox *gpWarnBox = nullptr;
ChooseBox *gpChooseBox = nullptr;
LostComWarnBox *gpLostComWarnBox = nullptr;
LostCameraWarnBox *gpLostCameraWarnBox = nullptr;
ReconnectCameraWarnBox *gpReconnectCameraWarnBox = nullptr;
ContinuousNgWarnBox *gContinuousNgWarnBox = nullptr;

std::function<void()> WarnBox::onShown;

namespace {

constexpr int kRowConfirm = 121;
constexpr int kRowYes = 122;
constexpr int kRowNo = 123;
constexpr int kRowShutDown = 209;
constexpr int kRowLinkLost = 589;
constexpr int kRowCameraLost = 587;
constexpr int kRowCameraBack = 588;
constexpr int kRowContinuousNg = 1105;

WarnBox::Answerer answerer;
std::vector<QString> shown;

QString label(int row, const char *fallback)
{
    const QString text = LanStr(row);
    return text.isEmpty() ? QString::fromUtf8(fallback) : text;
}

}  // namespace

WarnBox::WarnBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setModal(true);
    setStyleSheet(QStringLiteral(
        "WarnBox { background-color: #1f2a36; border: 3px solid #e0a020; }"
        "QLabel { color: #f4f6f8; font-size: 26px; }"
        "QPushButton { min-height: 64px; min-width: 160px; font-size: 24px; color: white;"
        "  background-color: #2d8cd6; border-radius: 8px; }"
        "QPushButton:pressed { background-color: #1d5c8e; }"));
    auto *layout = new QVBoxLayout(this);
    m_label = new QLabel;
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    layout->addWidget(m_label, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_confirm = new QPushButton(label(kRowConfirm, "Confirm"));
    m_buttonRows.emplace_back(m_confirm, kRowConfirm, "Confirm");
    connect(m_confirm, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(m_confirm);
    buttons->addStretch();
    layout->addLayout(buttons);
}

void WarnBox::setText(const QString &text) { m_label->setText(text); }
QString WarnBox::text() const { return m_label->text(); }

void WarnBox::setAnswerer(Answerer a) { answerer = std::move(a); }
const std::vector<QString> &WarnBox::shownTexts() { return shown; }
void WarnBox::clearShownTexts() { shown.clear(); }

int WarnBox::exec()
{
    // Unattended runs: warnings are confirmed, questions answered "no".
    if (!answerer && qgetenv("MOULD_AUTO_CONFIRM") == "1") {
        shown.push_back(text());
        qWarning().noquote() << "box answered unattended:" << text();
        return qobject_cast<ChooseBox *>(this) ? QDialog::Rejected : QDialog::Accepted;
    }
    if (answerer) {
        shown.push_back(text());
        if (onShown)
            onShown();
        const int result = answerer(*this);
        setResult(result);
        return result;
    }
    qInfo().noquote() << "box waits for the operator:" << text();
    return QDialog::exec();
}

// Centred on the screen: small panels get a smaller box.
void WarnBox::showEvent(QShowEvent *event)
{
    if (!answerer)
        shown.push_back(text());
    for (const auto &[button, row, fallback] : m_buttonRows)
        button->setText(label(row, fallback));
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const QSize size = area.width() <= 1024 ? QSize(420, 180) : QSize(750, 370);
    setFixedSize(size);
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    if (onShown)
        onShown();
    QDialog::showEvent(event);
}

ChooseBox::ChooseBox(QWidget *parent)
    : WarnBox(parent)
{
    m_buttonRows.clear();
    m_buttonRows.emplace_back(m_confirm, kRowYes, "YES");
    m_confirm->setText(label(kRowYes, "YES"));
    auto *no = new QPushButton(label(kRowNo, "NO"));
    m_buttonRows.emplace_back(no, kRowNo, "NO");
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    static_cast<QHBoxLayout *>(layout()->itemAt(1)->layout())->insertWidget(2, no);
}

LostComWarnBox::LostComWarnBox(QWidget *parent)
    : WarnBox(parent)
{
    setText(LanStr(kRowLinkLost));
    setModal(false);
}

void LostComWarnBox::done(int result)
{
    const bool lost = linkLost ? linkLost() : gisLostCom.load();
    WarnBox::done(result);
    if (lost) {
        // Only a link that has come back lets the box go.
        setText(LanStr(kRowLinkLost));
        show();
    }
}

LostCameraWarnBox::LostCameraWarnBox(QWidget *parent)
    : WarnBox(parent)
{
    setText(LanStr(kRowCameraLost));
    setModal(false);
    auto *shutDownButton = new QPushButton(label(kRowShutDown, "Shut Down"));
    m_buttonRows.emplace_back(shutDownButton, kRowShutDown, "Shut Down");
    connect(shutDownButton, &QPushButton::clicked, this, [this] { done(ShutDown); });
    static_cast<QHBoxLayout *>(layout()->itemAt(1)->layout())->insertWidget(2, shutDownButton);
}

void LostCameraWarnBox::done(int result)
{
    WarnBox::done(result);
    if (result == ShutDown && cameraLost && cameraLost() && shutDown)
        shutDown();
}

ReconnectCameraWarnBox::ReconnectCameraWarnBox(QWidget *parent)
    : WarnBox(parent)
{
    setText(LanStr(kRowCameraBack));
    setModal(false);
}

ContinuousNgWarnBox::ContinuousNgWarnBox(QWidget *parent)
    : WarnBox(parent)
{
    setText(LanStr(kRowContinuousNg));
    setModal(false);
}

void ContinuousNgWarnBox::done(int result)
{
    WarnBox::done(result);
    if (onClosed)
        onClosed();
}

void CreateWarnBoxes(QWidget *parent)
{
    if (gpWarnBox)
        return;
    gpWarnBox = new WarnBox(parent);
    gpChooseBox = new ChooseBox(parent);
    gpLostComWarnBox = new LostComWarnBox(parent);
    gpLostCameraWarnBox = new LostCameraWarnBox(parent);
    gpReconnectCameraWarnBox = new ReconnectCameraWarnBox(parent);
    gContinuousNgWarnBox = new ContinuousNgWarnBox(parent);
}
