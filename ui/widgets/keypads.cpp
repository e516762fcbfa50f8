#include "ui/widgets/keypads.h"

#include "core/globals.h"
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/ctypecom.h"
#include "ui/widgets/editbox.h"
#include "ui/widgets/valuerange.h"

#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

NumberInput *gpNumPad = nullptr;
NumCharInput *gpNumCharPad = nullptr;

namespace {

constexpr int kRowBackspace = 157;
constexpr int kRowLower = 158;
constexpr int kRowCapital = 159;
constexpr int kRowSymbol = 441;
constexpr int kRowCharacter = 442;
constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
constexpr int kRowClear = 1250;

constexpr int kKeyWidth = 80;
constexpr int kKeyHeight = 72;

const char *const kLetterRows[3] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
const char *const kPunctuationRows[3] = {"-=[]\\;',./", "@#$%^?*()", "`~!{}:\"|"};

NumCharInput::Answerer padAnswerer;

QString text(int row, const char *fallback)
{
    const QString t = LanStr(row);
    return t.isEmpty() ? QString::fromLatin1(fallback) : t;
}

const char *fallbackOf(int row)
{
    switch (row) {
    case kRowBackspace: return "BS";
    case kRowLower: return "Lower";
    case kRowCapital: return "Capital";
    case kRowSymbol: return "symbol";
    case kRowCharacter: return "character";
    case kRowConfirm: return "Confirm";
    case kRowCancel: return "Cancel";
    case kRowClear: return "Clear";
    }
    return "";
}

const QString kPadSheet = QStringLiteral("KeypadBase, QDialog { background:#1F2A36; border:2px solid #2D8CD6; }"
                                         "QLabel { color:#E8EEF4; }");

// A touch on a line edit opens the keypad that suits it.
class KeypadRouter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonRelease || !gpNumPad || !gpNumCharPad)
            return false;
        auto *edit = qobject_cast<QLineEdit *>(watched);
        if (!edit || !edit->isEnabled() || !edit->isVisible())
            return false;
        const QString kind = edit->property("mouldKeypad").toString();
        if (kind == QLatin1String("none"))
            return false;
        if (kind == QLatin1String("number")) {
            if (gpNumCharPad->target())
                gpNumCharPad->release();
            gpNumPad->serve(edit);
        } else if (!edit->isReadOnly()) {
            if (gpNumPad->target())
                gpNumPad->release();
            gpNumCharPad->serve(edit);
        }
        return false;
    }
};

// A modal dialog: a title, the field and a keypad of its own serving it, and "Cancel".
// The keypad's confirm key accepts.
bool runPadDialog(QDialog &dialog, const QString &title, QLineEdit *field, KeypadBase *pad)
{
    dialog.setModal(true);
    dialog.setStyleSheet(kPadSheet);
    auto *layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    auto *label = new QLabel(title);
    label->setFont(C_Type_COM::font(28));
    label->setWordWrap(true);
    layout->addWidget(label);
    field->setProperty("mouldKeypad", QStringLiteral("none"));
    field->setFont(C_Type_COM::font(30));
    field->setMinimumHeight(64);
    field->setFixedHeight(64);
    C_Type_COM::setTxtQss(field, C_Type_COM::Blue);
    layout->addWidget(field);
    layout->addWidget(pad);
    auto *cancel = new ColorButton(text(kRowCancel, "Cancel"), nullptr, C_Type_COM::Red);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setFixedSize(200, kKeyHeight);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(pad, &KeypadBase::closed, &dialog, &QDialog::accept);
    pad->serve(field);
    field->setFocus();
    return dialog.exec() == QDialog::Accepted;
}

bool autoConfirm() { return qgetenv("MOULD_AUTO_CONFIRM") == "1"; }

}  // namespace

KeypadBase::KeypadBase(QWidget *parent)
    : QFrame(parent)
{
    if (!parent) {
        // A window of its own that never takes the focus from the field it types into.
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
        setAttribute(Qt::WA_ShowWithoutActivating);
    }
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(kPadSheet);
}

ColorButton *KeypadBase::addKey(QGridLayout *grid, const QString &caption, int row, int column, int columnSpan)
{
    auto *button = new ColorButton(caption, this);
    button->setFont(C_Type_COM::font(28));
    button->setMinimumSize(kKeyWidth * columnSpan, kKeyHeight);
    grid->addWidget(button, row, column, 1, columnSpan);
    return button;
}

ColorButton *KeypadBase::addCharKey(QGridLayout *grid, const QString &character, int row, int column,
                                    int columnSpan)
{
    ColorButton *button = addKey(grid, character, row, column, columnSpan);
    connect(button, &QPushButton::clicked, this, [this, button] { setContent(button->text()); });
    return button;
}

ColorButton *KeypadBase::key(const QString &caption) const
{
    for (ColorButton *button : findChildren<ColorButton *>()) {
        if (button->isVisible() || !isVisible()) {
            if (button->text() == caption)
                return button;
        }
    }
    return nullptr;
}

void KeypadBase::retranslate()
{
    for (const Caption &c : m_captions)
        c.button->setText(text(c.row, fallbackOf(c.row)));
}

void KeypadBase::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void KeypadBase::serve(QLineEdit *field)
{
    if (m_target && m_target != field && isWindow())
        m_target->removeEventFilter(this);
    m_target = field;
    m_firstKey = true;
    retranslate();
    if (!field || !isWindow())
        return;
    adjustSize();
    placeNear(field);
    // Above a modal dialog only as its transient: otherwise the dialog blocks every touch on the pad.
    QWidget *host = field->window();
    if (!windowHandle())
        winId();
    if (windowHandle() && host->windowHandle())
        windowHandle()->setTransientParent(host->windowHandle());
    field->installEventFilter(this);
    show();
}

bool KeypadBase::eventFilter(QObject *watched, QEvent *event)
{
    // The field went out of sight with its screen or panel: the pad goes with it.
    if (event->type() == QEvent::Hide && m_target && watched == m_target)
        release();
    return QFrame::eventFilter(watched, event);
}

void KeypadBase::release()
{
    if (m_target && isWindow())
        m_target->removeEventFilter(this);
    m_target = nullptr;
    if (isWindow())
        hide();
}

void KeypadBase::placeNear(QLineEdit *field)
{
    const QRect rect(field->mapToGlobal(QPoint(0, 0)), field->size());
    const QScreen *screen = field->screen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const int x = std::clamp(rect.left(), free.left(), std::max(free.left(), free.right() - width() + 1));
    int y = rect.bottom() + 8;
    if (y + height() > free.bottom() + 1)
        y = rect.top() - 8 - height();
    if (y < free.top())
        y = std::max(free.top(), free.bottom() + 1 - height());
    move(x, y);
}

void KeypadBase::setContent(const QString &key)
{
    if (!m_target || key.isEmpty())
        return;
    // Cleared before the key acts: a key filter of the field may hand the pad to another field.
    const bool first = m_firstKey;
    m_firstKey = false;
    if (auto *number = qobject_cast<EditParam *>(m_target.data())) {
        if (key.size() != 1 || !key.at(0).isDigit()) {
            m_firstKey = first;
            return;
        }
        const int digit = key.at(0).digitValue();
        number->setTypedValue(first ? digit : AppendDigit(number->value(), digit));
    } else {
        // Typed as a key press, so the field's validator, length limit and key filters apply.
        QPointer<QLineEdit> field = m_target;
        if (first)
            field->selectAll();
        else
            field->end(false);
        const QChar c = key.at(0);
        const int code = c.unicode() < 0x80 ? c.toUpper().unicode() : static_cast<int>(Qt::Key_unknown);
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, key);
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, key);
        if (field)
            QCoreApplication::sendEvent(field, &release);
    }
}

void KeypadBase::eraseContent()
{
    if (!m_target)
        return;
    if (auto *number = qobject_cast<EditParam *>(m_target.data()))
        number->setTypedValue(number->value() / 10);
    else
        m_target->backspace();
    m_firstKey = false;
}

void KeypadBase::eraseAll()
{
    if (!m_target)
        return;
    if (auto *number = qobject_cast<EditParam *>(m_target.data()))
        number->setTypedValue(0);
    else
        m_target->clear();
    m_firstKey = true;
}

void KeypadBase::HideUpdate()
{
    QPointer<QLineEdit> field = m_target;
    if (isWindow())
        release();
    if (auto *number = qobject_cast<EditParam *>(field.data()))
        number->finishTyping();
    else if (field)
        emit field->editingFinished();
    emit closed();
}

NumberInput::NumberInput(QWidget *parent)
    : KeypadBase(parent)
{
    setObjectName(QStringLiteral("NumberInput"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setSpacing(8);
    const char *const rows[3] = {"789", "456", "123"};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            addCharKey(grid, QString(QLatin1Char(rows[r][c])), r, c);
    addCharKey(grid, QStringLiteral("0"), 3, 0, 2);
    addCharKey(grid, QStringLiteral("."), 3, 2);
    ColorButton *erase = addKey(grid, QString(), 0, 3);
    erase->setMinimumWidth(130);
    C_Type_COM::setBtnQss(erase, C_Type_COM::Dark);
    connect(erase, &QPushButton::clicked, this, &KeypadBase::eraseContent);
    ColorButton *clear = addKey(grid, QString(), 1, 3);
    C_Type_COM::setBtnQss(clear, C_Type_COM::Dark);
    connect(clear, &QPushButton::clicked, this, &KeypadBase::eraseAll);
    auto *confirm = new ColorButton(QString(), this);
    confirm->setFont(C_Type_COM::font(28));
    confirm->setMinimumSize(130, 2 * kKeyHeight + 8);
    grid->addWidget(confirm, 2, 3, 2, 1);
    C_Type_COM::setBtnQss(confirm, C_Type_COM::Green);
    connect(confirm, &QPushButton::clicked, this, &KeypadBase::HideUpdate);
    m_captions = {{erase, kRowBackspace}, {clear, kRowClear}, {confirm, kRowConfirm}};
    retranslate();
}

bool NumberInput::getValue(QWidget *parent, const QString &title, int *value, int min, int max)
{
    if (const NumCharInput::Answerer &answer = NumCharInput::answerer()) {
        const std::optional<QString> typed = answer(title, false);
        bool ok = false;
        const int v = typed ? typed->toInt(&ok) : 0;
        if (!ok)
            return false;
        *value = ClampToRange(v, min, max, false);
        return true;
    }
    if (autoConfirm())
        return false;
    QDialog dialog(parent, Qt::Dialog | Qt::FramelessWindowHint);
    auto *field = new EditParam;
    field->setFixedWidth(4 * kKeyWidth);
    field->setTypedValue(*value);
    auto *pad = new NumberInput(&dialog);
    if (!runPadDialog(dialog, title, field, pad))
        return false;
    *value = ClampToRange(field->value(), min, max, false);
    return true;
}

NumCharInput::NumCharInput(QWidget *parent)
    : KeypadBase(parent)
{
    setObjectName(QStringLiteral("NumCharInput"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setSpacing(8);
    for (int c = 0; c < 10; ++c)
        addCharKey(grid, QString::number((c + 1) % 10), 0, c);
    ColorButton *erase = addKey(grid, QString(), 0, 10, 2);
    C_Type_COM::setBtnQss(erase, C_Type_COM::Dark);
    connect(erase, &QPushButton::clicked, this, &KeypadBase::eraseContent);
    // Letter keys: 10, 9 and 7 of them; the third row has an eighth key for the symbols.
    const int firstColumn[3] = {0, 0, 1};
    const int keys[3] = {10, 9, 8};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < keys[r]; ++c)
            m_charKeys[r].push_back(addCharKey(grid, QString(), r + 1, firstColumn[r] + c));
    ColorButton *clear = addKey(grid, QString(), 1, 10, 2);
    C_Type_COM::setBtnQss(clear, C_Type_COM::Dark);
    connect(clear, &QPushButton::clicked, this, &KeypadBase::eraseAll);
    ColorButton *confirm = addKey(grid, QString(), 2, 9, 3);
    C_Type_COM::setBtnQss(confirm, C_Type_COM::Green);
    connect(confirm, &QPushButton::clicked, this, &KeypadBase::HideUpdate);
    m_capKey = addKey(grid, QString(), 3, 0);
    m_capKey->setFont(C_Type_COM::font(22));
    C_Type_COM::setBtnQss(m_capKey, C_Type_COM::Gold);
    connect(m_capKey, &QPushButton::clicked, this, &NumCharInput::SlotCap);
    m_puncKey = addKey(grid, QString(), 3, 9, 3);
    C_Type_COM::setBtnQss(m_puncKey, C_Type_COM::Gold);
    connect(m_puncKey, &QPushButton::clicked, this, &NumCharInput::SlotChgChar_Punc);
    m_captions = {{erase, kRowBackspace}, {clear, kRowClear}, {confirm, kRowConfirm}};
    relabel();
}

void NumCharInput::SlotCap()
{
    m_capitals = !m_capitals;
    relabel();
}

void NumCharInput::SlotChgChar_Punc()
{
    m_punctuation = !m_punctuation;
    relabel();
}

void NumCharInput::relabel()
{
    for (int r = 0; r < 3; ++r) {
        QString chars = QString::fromLatin1(m_punctuation ? kPunctuationRows[r] : kLetterRows[r]);
        if (!m_punctuation && m_capitals)
            chars = chars.toUpper();
        for (size_t i = 0; i < m_charKeys[r].size(); ++i) {
            ColorButton *button = m_charKeys[r][i];
            const bool used = static_cast<int>(i) < chars.size();
            button->setText(used ? QString(chars.at(static_cast<int>(i))) : QString());
            // Hidden keys keep their place in the grid so the rows do not shift.
            QSizePolicy policy = button->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            button->setSizePolicy(policy);
            button->setVisible(used);
        }
    }
    m_captions.resize(3);
    m_captions.push_back({m_capKey, m_capitals ? kRowLower : kRowCapital});
    m_captions.push_back({m_puncKey, m_punctuation ? kRowCharacter : kRowSymbol});
    m_capKey->setEnabled(!m_punctuation);
    retranslate();
}

bool NumCharInput::getText(QWidget *parent, const QString &title, QString *text, bool password)
{
    if (padAnswerer) {
        const std::optional<QString> typed = padAnswerer(title, password);
        if (!typed)
            return false;
        *text = *typed;
        return true;
    }
    if (autoConfirm())
        return false;
    QDialog dialog(parent, Qt::Dialog | Qt::FramelessWindowHint);
    auto *field = new QLineEdit;
    field->setObjectName(QStringLiteral("text"));
    if (password)
        field->setEchoMode(QLineEdit::Password);
    else
        field->setText(*text);
    auto *pad = new NumCharInput(&dialog);
    if (!runPadDialog(dialog, title, field, pad))
        return false;
    *text = field->text();
    return true;
}

void NumCharInput::setAnswerer(Answerer answerer) { padAnswerer = std::move(answerer); }
const NumCharInput::Answerer &NumCharInput::answerer() { return padAnswerer; }

void CreateKeypads()
{
    if (gpNumPad)
        return;
    gpNumPad = new NumberInput;
    gpNumCharPad = new NumCharInput;
    qApp->installEventFilter(new KeypadRouter(qApp));
}
