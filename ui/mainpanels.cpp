#include "ui/mainpanels.h"

#include "core/globals.h"
#include "ui/stationimages.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kRowClose = 211;
constexpr int kRowHelp = 111;

}  // namespace

HelpWidget::HelpWidget(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("panel"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral(
        "#panel { background-color: #1a222c; }"
        "QLabel { color: #e8eef4; font-family: 'WenQuanYi Micro Hei'; }"
        "QPushButton { color: #e8eef4; background-color: #24405c; border: 1px solid #4a6a8a;"
        "  border-radius: 6px; padding: 8px 24px; font-family: 'WenQuanYi Micro Hei'; font-size: 22px; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 30, 40, 30);
    auto *title = new QLabel(LanStr(kRowHelp));
    QFont big = title->font();
    big.setPixelSize(36);
    title->setFont(big);
    layout->addWidget(title);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(10);
    // Image (when the station has it) and the table's name for each thing the main window offers.
    const struct {
        const QPixmap *image;
        QString text;
    } rows[] = {
        {gpImages ? &gpImages->enlarge : nullptr, LanStr(188)},
        {gpImages ? &gpImages->origin : nullptr, LanStr(497)},
        {gpImages ? &gpImages->reduce : nullptr, QStringLiteral("1 / 1.2")},
        {gpImages ? &gpImages->moveUp : nullptr, LanStr(5)},
        {gpImages ? &gpImages->moveDown : nullptr, LanStr(6)},
        {gpImages ? &gpImages->moveLeft : nullptr, LanStr(7)},
        {gpImages ? &gpImages->moveRight : nullptr, LanStr(8)},
        {nullptr, LanStr(136) + QStringLiteral(" / ") + LanStr(127)},
        {nullptr, LanStr(126) + QStringLiteral(": ") + LanStr(44)},
        {nullptr, LanStr(457) + QStringLiteral(": ") + LanStr(60)},
    };
    int row = 0;
    for (const auto &r : rows) {
        auto *icon = new QLabel;
        if (r.image && !r.image->isNull())
            icon->setPixmap(r.image->scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        auto *label = new QLabel(r.text);
        QFont font = label->font();
        font.setPixelSize(22);
        label->setFont(font);
        grid->addWidget(icon, row, 0);
        grid->addWidget(label, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid, 1);
    m_close = new QPushButton(LanStr(kRowClose));
    m_close->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_close, 0, Qt::AlignRight);
    connect(m_close, &QPushButton::clicked, this, [this] {
        hide();
        emit closed();
    });
    hide();
}

void PadGuard::filter(QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return;
    const QPoint global = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
    for (const QPointer<QWidget> &pad : m_pads) {
        if (!pad || !pad->isVisible())
            continue;
        const QRect area(pad->mapToGlobal(QPoint(0, 0)), pad->size());
        if (!area.contains(global))
            pad->hide();
    }
}
