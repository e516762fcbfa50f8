#include "ui/cavity/editcavitywidget.h"

#include "core/globals.h"
#include "log/eventrecord.h"
#include "params/cavitynames.h"
#include "ui/users/userstyle.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/keypads.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kRowsTitle = 594;     // "Edit the cavity"
constexpr int kRowCamera = 595;     // "camera%1"
constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
constexpr int kRowRecovered = 1430;  // the damaged file was replaced
constexpr int kFirstNameRows[2] = {460, 596};
constexpr int kMaxNameLength = 16;

QPointer<EditCavitywidget> gEditor;

}  // namespace

EditCavitywidget::EditCavitywidget(QWidget *parent)
    : QFrame(parent)
    , m_tableName1(QLatin1String(CavityNames::kSavedTable))
    , m_tableName2(QLatin1String(CavityNames::kScratchTable))
{
    // Over the main window the editor dims the views and shows its card in the middle.
    setObjectName(QStringLiteral("EditCavitywidget"));
    auto *card = new QFrame(this);
    card->setObjectName(QStringLiteral("cavityCard"));
    setStyleSheet(UserStyle::Dialog(card->objectName())
                  + QStringLiteral("#EditCavitywidget { background-color: rgba(0, 0, 0, 140); }"));
    auto *host = new QGridLayout(this);
    host->setContentsMargins(0, 0, 0, 0);
    host->addWidget(card, 1, 1);
    host->setRowStretch(0, 1);
    host->setRowStretch(2, 1);
    host->setColumnStretch(0, 1);
    host->setColumnStretch(2, 1);

    auto *outer = new QVBoxLayout(card);
    outer->setContentsMargins(16, 16, 16, 16);
    outer->setSpacing(8);

    auto *top = new QHBoxLayout;
    m_title = new QLabel(this);
    m_selector = new ComboBox(this);
    m_selector->setFixedSize(180, 60);
    top->addWidget(m_title);
    top->addStretch();
    top->addWidget(m_selector);
    outer->addLayout(top);

    // Two columns of eight positions: label and field, each 180 x 60.
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    // A blank would split the name into two and shift every later position.
    const QRegularExpression noBlank(QStringLiteral("\\S{0,%1}").arg(kMaxNameLength));
    for (int p = 0; p < CavityNames::kPositions; ++p) {
        m_labels[p] = new QLabel(this);
        m_labels[p]->setFixedSize(180, 60);
        m_labels[p]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_fields[p] = new QLineEdit(this);
        m_fields[p]->setFixedSize(180, 60);
        m_fields[p]->setValidator(new QRegularExpressionValidator(noBlank, m_fields[p]));
        connect(m_fields[p], &QLineEdit::editingFinished, this, [this, p] {
            if (m_fields[p]->text().trimmed().isEmpty())
                m_fields[p]->setText(CavityNames::DefaultName(p));
        });
        const int column = (p / 8) * 2;
        grid->addWidget(m_labels[p], p % 8, column);
        grid->addWidget(m_fields[p], p % 8, column + 1);
    }
    grid->setColumnMinimumWidth(2, 200);
    outer->addLayout(grid);

    auto *buttons = new QHBoxLayout;
    m_confirm = new ColorButton(QString(), this, C_Type_COM::Green);
    m_cancel = new ColorButton(QString(), this, C_Type_COM::Blue);
    m_confirm->setFixedSize(180, 70);
    m_cancel->setFixedSize(180, 70);
    buttons->addStretch();
    buttons->addWidget(m_confirm);
    buttons->addSpacing(40);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    outer->addLayout(buttons);

    retranslate();
    card->setFixedSize(card->sizeHint());

    connect(m_selector, &QComboBox::currentIndexChanged, this, &EditCavitywidget::SlotChangeCam);
    connect(m_confirm, &QPushButton::clicked, this, &EditCavitywidget::Accept);
    connect(m_cancel, &QPushButton::clicked, this, &EditCavitywidget::Reject);

    Databaseinit();
}

void EditCavitywidget::retranslate()
{
    m_title->setText(LanStr(kRowsTitle));
    for (int p = 0; p < CavityNames::kPositions; ++p)
        m_labels[p]->setText(LanStr(kFirstNameRows[p / 8] + p % 8));
    m_confirm->setText(LanStr(kRowConfirm));
    m_cancel->setText(LanStr(kRowCancel));
    const QSignalBlocker quiet(m_selector);
    m_selector->clear();
    for (int camera = 1; camera <= std::clamp(numCamera, 1, CavityNames::kCameras); ++camera)
        m_selector->addItem(LanStr(kRowCamera).arg(camera));
    m_selector->setCurrentIndex(std::min(m_camera, m_selector->count() - 1));
}

void EditCavitywidget::Databaseinit()
{
    if (CavityNames::Databaseinit() == CavityNames::OpenResult::Recovered)
        EventRecord::Insert(LanStr(kRowRecovered));
}

void EditCavitywidget::init()
{
    Initialize(m_tableName1, m_tableName2);
    changeCamera();
}

void EditCavitywidget::Initialize(const QString &from, const QString &to)
{
    CavityNames::Initialize(from, to);
}

void EditCavitywidget::changeCamera()
{
    m_names = CavityNames::Read(m_tableName2, m_camera);
    for (int p = 0; p < CavityNames::kPositions; ++p)
        m_fields[p]->setText(m_names.value(p));
}

void EditCavitywidget::storeFields()
{
    QStringList typed;
    for (QLineEdit *field : m_fields)
        typed << field->text();
    CavityNames::Write(m_tableName2, m_camera, typed);
}

void EditCavitywidget::SlotChangeCam(int camera)
{
    if (camera < 0 || camera >= CavityNames::kCameras || camera == m_camera)
        return;
    storeFields();
    m_camera = camera;
    changeCamera();
}

void EditCavitywidget::Accept()
{
    storeFields();
    Initialize(m_tableName2, m_tableName1);
    close();
}

void EditCavitywidget::Reject() { close(); }

void EditCavitywidget::close()
{
    hide();
    if (m_opener)
        m_opener->show();
    emit closed();
}

void EditCavitywidget::showEvent(QShowEvent *event)
{
    retranslate();
    if (QWidget *over = parentWidget())
        setGeometry(over->rect());
    raise();
    QFrame::showEvent(event);
}

void EditCavitywidget::hideEvent(QHideEvent *event)
{
    // The text pad lets go of a field it was serving here.
    if (gpNumCharPad && gpNumCharPad->target() && isAncestorOf(gpNumCharPad->target()))
        gpNumCharPad->release();
    QFrame::hideEvent(event);
}

EditCavitywidget *CreateCavityEditor(QWidget *mainWindow)
{
    if (!gEditor) {
        gEditor = new EditCavitywidget(mainWindow);
        gEditor->hide();
        gEditor->init();
    }
    return gEditor;
}

void OpenCavityNames(QWidget *opener)
{
    EditCavitywidget *editor = CreateCavityEditor(opener ? opener->window() : nullptr);
    editor->init();
    editor->setOpener(opener);
    // A screen inside the main window makes way; a window of its own would take the editor with it.
    if (opener && opener != opener->window() && !opener->isAncestorOf(editor))
        opener->hide();
    editor->show();
    editor->raise();
}
