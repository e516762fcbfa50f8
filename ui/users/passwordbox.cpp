#include "ui/users/passwordbox.h"

#include "core/globals.h"
#include "ui/users/userstyle.h"
#include "ui/widgets/keypads.h"
#include "users/loginlevels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

PasswordBox *gpPasswordBox = nullptr;

namespace {

constexpr int kRowConfirm = 121;
constexpr int kRowCancel = 124;
constexpr int kRowPassword = 125;
constexpr int kRowWrong = 357;
constexpr int kMaxAnswers = 10;

PasswordPrompt::Answerer answerer;

}  // namespace

PasswordPrompt::PasswordPrompt(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setModal(true);
    setObjectName(QStringLiteral("prompt"));
    setStyleSheet(UserStyle::Dialog(QStringLiteral("prompt")));
    setMinimumWidth(560);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 28);
    layout->setSpacing(20);
    m_field = new QLineEdit;
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setPlaceholderText(LanStr(kRowPassword));
    m_field->setMinimumHeight(64);
    layout->addWidget(m_field);
    auto *buttons = new QHBoxLayout;
    m_confirm = new QPushButton(LanStr(kRowConfirm));
    m_cancel = new QPushButton(LanStr(kRowCancel));
    for (QPushButton *b : {m_confirm, m_cancel}) {
        b->setMinimumHeight(64);
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(m_confirm, &QPushButton::clicked, this, &PasswordPrompt::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_field, &QLineEdit::returnPressed, this, &PasswordPrompt::accept);
}

void PasswordPrompt::setAnswerer(Answerer a) { answerer = std::move(a); }

void PasswordPrompt::showEvent(QShowEvent *event)
{
    m_field->clear();
    m_field->setPlaceholderText(LanStr(kRowPassword));
    QDialog::showEvent(event);
    // The text pad comes up with the prompt (the password is all there is to type), and its
    // "Confirm" key is the prompt's.
    if (gpNumCharPad)
        connect(gpNumCharPad, &KeypadBase::closed, this, &PasswordPrompt::padConfirmed, Qt::UniqueConnection);
    QTimer::singleShot(0, this, &PasswordPrompt::openPad);
}

void PasswordPrompt::openPad()
{
    if (gpNumCharPad && isVisible())
        gpNumCharPad->serve(m_field);
}

// While the modal prompt is up, its field is the only one the pad can serve.
void PasswordPrompt::padConfirmed()
{
    if (isVisible())
        accept();
}

void PasswordPrompt::accept()
{
    const QString typed = m_field->text();
    if (check(typed) == 0) {
        m_field->clear();
        m_field->setPlaceholderText(LanStr(kRowWrong));
        openPad();
        return;
    }
    m_field->clear();
    m_field->setPlaceholderText(LanStr(kRowPassword));
    QDialog::accept();
}

int PasswordPrompt::exec()
{
    if (!answerer)
        return QDialog::exec();
    setResult(Rejected);
    m_field->clear();
    for (int i = 0; i < kMaxAnswers; ++i) {
        const QString typed = answerer(*this);
        if (typed.isNull())
            break;
        m_field->setText(typed);
        accept();
        if (result() == Accepted)
            return Accepted;
    }
    setResult(Rejected);
    return Rejected;
}

PasswordBox::PasswordBox(LoginLevels &levels, QWidget *parent) : PasswordPrompt(parent), m_levels(levels) {}

int PasswordBox::check(const QString &typed) { return m_levels.Enter(typed); }

PasswordDialog::PasswordDialog(const LoginLevels &levels, QWidget *parent) : PasswordPrompt(parent), m_levels(levels) {}

int PasswordDialog::check(const QString &typed)
{
    m_result = m_levels.OneTime(typed);
    return m_result;
}
